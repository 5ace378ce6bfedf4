// Parameter files from the main window: button 1006 saves the shown set, button
// 1007 loads a file into the window and, with a relay connected, after the
// preview into the relay.

#include <filesystem>

#include "app/main_dlg.h"
#include "files/utf8_path.h"
#include "params/parameter_file.h"
#include "params/preview_dlg.h"

using namespace ui;

namespace {

constexpr const char* kTitlePrefix = "KorvenCtrl - ";

FileDialogRequest ParameterFileDialog(const CDialog* owner, bool save, const std::string& folder)
{
    FileDialogRequest request;
    request.owner = owner;
    request.save = save;
    request.title = save ? "Parameter speichern" : "Parameter-File öffnen";
    request.filterDescription = "Parameter-Datensatz(*.par)";
    request.filterPattern = "*.par";
    request.startFolder = folder;
    request.overwritePrompt = true;
    request.mustExist = !save;
    return request;
}

// The save dialog asked about the name as typed; where the suffix rule names
// another file that exists, the operator is asked about that one.
bool MayReplace(const std::string& chosen, const std::string& path)
{
    std::error_code error;
    if (path == chosen || !std::filesystem::exists(PathFromUtf8(path), error))
        return true;
    return AfxMessageBox(path + " ist bereits vorhanden.\r\nMöchten Sie die Datei ersetzen?",
                         MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

} // namespace

void CMainDlg::OnSaveParams()
{
    if (CheckBeforeSave() == 0)
        return;
    // A live reading may refresh the fields while the file dialog is open: the
    // set that passed the checks is the one written.
    const ParameterSet checkedSet = shownSet;
    const std::optional<std::string> chosen = Ui().ChooseFile(ParameterFileDialog(this, true, m_szWorkingDir));
    if (!chosen)
        return;
    UpdateData(true);
    const std::string path = WithParameterSuffix(*chosen);
    if (!MayReplace(*chosen, path))
        return;
    m_szWorkingDir = FolderOf(*chosen);
    SetWindowText(kTitlePrefix + FileTitleOf(*chosen));

    if (WriteParameterFile(path, checkedSet) != ParameterFileResult::Ok) {
        AfxMessageBox(CannotWriteMessage(path), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WriteSettings();
}

std::optional<std::string> CMainDlg::ChooseParameterFile(const CDialog* owner)
{
    const std::optional<std::string> chosen = Ui().ChooseFile(ParameterFileDialog(owner, false, m_szWorkingDir));
    if (chosen)
        m_szWorkingDir = FolderOf(*chosen);
    return chosen;
}

void CMainDlg::OnLoadParams()
{
    // With a relay the load may write to it: not without the record.
    if (m_bConnected == 1 && !RecordAllowsChange())
        return;
    if (m_bConnected == 1)
        RefreshFromDevice();
    const std::optional<std::string> chosen = Ui().ChooseFile(ParameterFileDialog(this, false, m_szWorkingDir));
    if (!chosen)
        return;
    m_szWorkingDir = FolderOf(*chosen);
    std::string line;
    if (ReadParameterLine(*chosen, line) != ParameterFileResult::Ok) {
        AfxMessageBox(CannotReadMessage(*chosen), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ParseParameterText(line, ScanMode::SetOnly, &compareSet);
    NormalizeTexts(compareSet);

    // The relay's values, just read, are kept for the preview and for a restore.
    CPreviewDlg preview(this);
    preview.newSet = compareSet;
    preview.deviceSet = shownSet;
    if (m_bConnected != 1 || preview.DoModal() == IDOK) {
        // The full scan, which passes over a file's KAL, VER and K0V items, but
        // keeps the device texts the relay gave: a file is no relay.
        ::ParseParameterText(line, ScanMode::Full, shownSet, nullptr);
        NormalizeTexts(shownSet);
        UpdateData(false);
        // A live reading may have found the relay gone while the messages were open.
        // The levels move only with a write the relay acknowledged: a set that
        // failed the checks, was refused or only loaded into the window is not the
        // relay's.
        RecordEntry change;
        change.before = preview.deviceSet;
        change.file = PathToUtf8(PathFromUtf8(*chosen).filename());
        if (m_bConnected == 1 && SendShownSet(change) == -1 && m_bConnected == 1) {
            shownSet = preview.deviceSet;
            UpdateData(false);
        }
    }
    WriteSettings();
    UpdateData(false);
}
