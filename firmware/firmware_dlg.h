#pragma once
// The firmware update dialog: loads an Intel-HEX file into the image and has the
// relay program and verify it, block by block, with a progress bar and a status
// line. While a pass runs nothing ends the dialog; a request to quit the program
// stops the pass between blocks, and the program then ends.

#include <functional>
#include <string>

#include "firmware/hex_image.h"
#include "ui/dialog.h"

class CSerialPort;
class FirmwareUpdate;
struct PassResult;
struct RecordEntry;

// Control ids of the firmware dialog.
enum : int {
    IDC_OPEN_HEX = 1024,
    IDC_VERIFY = 1025,
    IDC_UPLOAD = 1026,
    IDC_PROGRESS = 1027,
    IDC_RESTART = 1028,
    IDC_FIRMWARE_STATUS = 1029,
};

// The dialog opens the file dialog by itself this long after it opened.
inline constexpr int kOpenFileTimer = 1000;
inline constexpr int kOpenFileDelayMs = 500;

const ui::DialogTemplate& FirmwareDialogTemplate();

class CFirmwareDlg : public ui::CDialog {
public:
    // port is shared, not owned; startFolder is where the file dialog opens first.
    CFirmwareDlg(CSerialPort* port, std::string startFolder, CDialog* parent = nullptr);
    ~CFirmwareDlg() override;

    // Handlers of the message map.
    void OnOpenHexFile();
    void OnUpload();
    void OnVerify();
    void OnRestart();
    void OnTimer(int id) override;

    // Given the record's entry of an update about to start (the file and the
    // image's digest); false (after its own box) keeps it from starting.
    std::function<bool(const RecordEntry&)> mayStartUpdate;
    // Given the record's entry of each update run, before its outcome shows.
    std::function<void(const RecordEntry&)> recordUpdate;

    bool PassRunning() const { return m_bPassRunning; }
    // A request to quit the program stopped a pass: the program is ending.
    bool QuitRequested() const { return m_bQuitRequested; }

protected:
    // No end of the dialog is taken during a pass.
    bool CanEnd() const override { return !m_bPassRunning; }
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;

private:
    void ShowPassControls(bool programming);
    void EndVerifyControls();
    // Runs pass (the whole update or the verify pass alone) with the window's
    // callbacks, its result into *result; false when a quit request stopped it.
    bool RunPass(const std::function<PassResult(FirmwareUpdate&)>& pass, PassResult* result = nullptr);

    CSerialPort* m_pPort;
    std::string m_szPath;
    std::string m_strPathName;
    FirmwareImage m_image{};
    bool m_bImageHasData = false; // the file of m_image put bytes into it
    std::string m_strStatus;
    bool m_bPassRunning = false;
    bool m_bQuitRequested = false;
};
