#pragma once
// Applies step CurrentStep: its render states, its eight lights, its camera path.
void m_loadStep();
