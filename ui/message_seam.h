#pragma once
// Message boxes and file dialogs go through one seam, so that tests can script
// the answers and record every text, caption and icon.

#include <optional>
#include <string>

namespace ui {

class CDialog;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Message box types: buttons in the low nibble, icon in the next.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};

// Application message boxes carry the program's file name as caption.
inline constexpr const char* kApplicationCaption = "KorvenCtrl";

struct MessageRequest {
    const CDialog* owner = nullptr; // nullptr: no owner window
    std::string text;         // UTF-8, line breaks as "\r\n" or "\n"
    std::string caption;
    unsigned type = MB_OK;
};

struct FileDialogRequest {
    const CDialog* owner = nullptr;
    bool save = false;
    std::string title;
    std::string filterDescription; // "Parameter-Datensatz(*.par)"
    std::string filterPattern;     // "*.par"
    std::string startFolder;
    bool overwritePrompt = false;
    bool mustExist = false;
    // Added (without its dot) to a name typed without an extension, before the
    // overwrite question, so that the question concerns the file written.
    std::string defaultExtension;
};

// The folder a file dialog opens in: the start folder, or where it no longer
// exists its nearest existing parent (so that its name is not offered as a file name).
std::string ExistingFolder(const std::string& folder);

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Returns IDOK or IDCANCEL.
    virtual int ShowMessage(const MessageRequest& request) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
};

// The backend's own message boxes and file dialogs.
UserInterface& PlatformUi();
// The seam in force: the backend's dialogs unless a test installed its own.
UserInterface& Ui();
// Installs ui (not owned); nullptr restores the backend's dialogs.
void SetUi(UserInterface* ui);

// A message box owned by a window, with its own caption.
int MessageBox(const CDialog* owner, const std::string& text, const std::string& caption, unsigned type);
// An application message box, captioned with the program's name.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK);

} // namespace ui
