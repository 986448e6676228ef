// Process-wide platform start-up of the installer: GDI+ and the common controls.
#pragma once

// Starts GDI+ once per process; it is shut down at process exit.
void StartGdiplus();
// InitCommonControlsEx with the bar classes, from the system's comctl32.
void InitCommonControlsFromSystem();
