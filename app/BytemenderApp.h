// CBytemenderApp: the application object. The program's whole life is
// InitInstance: the main window runs modally and the program ends with it.
#pragma once

class CBytemenderApp {
  public:
    CBytemenderApp() = default;
    // Runs the main window until it is closed. Returns false: there is no
    // message loop after it.
    bool InitInstance();
};
