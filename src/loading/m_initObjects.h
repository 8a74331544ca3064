#pragma once
// Fills Objects with the town's placed objects.
void m_initObjects();
