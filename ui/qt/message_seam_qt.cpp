// Message boxes and file dialogs of the Qt backend, with German button texts
// whatever translations Qt has at hand.

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ui/message_seam.h"
#include "ui/qt/qt_access.h"

namespace ui {
namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* OwnerWindow(const CDialog* owner)
{
    return owner != nullptr ? QtWindow(*owner) : nullptr;
}

QMessageBox::Icon IconOf(unsigned type)
{
    switch (type & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

class QtUserInterface final : public UserInterface {
public:
    int ShowMessage(const MessageRequest& request) override
    {
        QMessageBox box(IconOf(request.type), FromUtf8(request.caption),
                        FromUtf8(request.text).replace(QLatin1String("\r\n"), QLatin1String("\n")),
                        QMessageBox::NoButton, OwnerWindow(request.owner));
        // Captions are set here, not left to Qt's translation of standard buttons.
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QPushButton* cancel = nullptr;
        if ((request.type & 0x0F) == MB_OKCANCEL)
            cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(cancel != nullptr ? static_cast<QAbstractButton*>(cancel) : ok);
        box.exec();
        return box.clickedButton() == ok ? IDOK : IDCANCEL;
    }

    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override
    {
        QFileDialog dialog(OwnerWindow(request.owner), FromUtf8(request.title),
                           FromUtf8(ExistingFolder(request.startFolder)), FromUtf8(request.filterDescription));
        dialog.setNameFilter(FromUtf8(request.filterDescription));
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (!request.defaultExtension.empty())
            dialog.setDefaultSuffix(FromUtf8(request.defaultExtension));
        if (!request.overwritePrompt)
            dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setLabelText(QFileDialog::Accept, request.save ? QStringLiteral("Speichern") : QStringLiteral("Öffnen"));
        dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
        dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dateiname:"));
        dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dateityp:"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        // Qt names files with '/' on every platform; the program's paths use the native separator.
        return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
    }
};

} // namespace

UserInterface& PlatformUi()
{
    static QtUserInterface qtUi;
    return qtUi;
}

} // namespace ui
