#include "ui/message_seam.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace ui {
namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
                        QMessageBox::NoButton, request.owner);
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
        QFileDialog dialog(request.owner, FromUtf8(request.title), FromUtf8(ExistingFolder(request.startFolder)),
                           FromUtf8(request.filterDescription));
        dialog.setNameFilter(FromUtf8(request.filterDescription));
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (!request.overwritePrompt)
            dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        // The program speaks German whatever translations Qt has at hand.
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

UserInterface* g_installed = nullptr;

} // namespace

std::string ExistingFolder(const std::string& folder)
{
    QString path = FromUtf8(folder);
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    return path.toStdString();
}

UserInterface& Ui()
{
    static QtUserInterface qtUi;
    return g_installed != nullptr ? *g_installed : qtUi;
}

void SetUi(UserInterface* userInterface)
{
    g_installed = userInterface;
}

int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned type)
{
    return Ui().ShowMessage(MessageRequest{owner, text, caption, type});
}

int AfxMessageBox(const std::string& text, unsigned type)
{
    return Ui().ShowMessage(MessageRequest{nullptr, text, kApplicationCaption, type});
}

} // namespace ui
