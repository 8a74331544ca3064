#pragma once
// Loads the 36 meshes into their slots of Meshes.
void m_InitMesh();
