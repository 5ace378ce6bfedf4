#pragma once
// The application object: runs the main window modally and ends with it.

class CControlApp {
public:
    // Runs the main window; returns false so that the program ends when it closes.
    bool InitInstance();
};

extern CControlApp theApp;
