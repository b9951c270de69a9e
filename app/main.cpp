// Entry point: start the window layer, build the main window, run until it is closed.
#include <windows.h>

#include "Mainwin.h"
#include "SystemFolder.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Started from a Downloads folder: no library may come from there or from the current folder.
    systemfolder::RestrictLibrarySearch();
    try {
        Application->Initialize();
        Application->MainFormOnTaskBar = true;
        Application->CreateForm(mainForm);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
    } catch (...) {
        Application->HandleException();
    }
    Application->DestroyForms();
    return 0;
}
