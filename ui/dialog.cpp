#include "ui/dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "res/bitmaps.h"
#include "ui/system_menu.h"

namespace ui {
namespace {

QString FromUtf8(const char* text)
{
    // Captions come from the templates with Windows line breaks.
    return QString::fromUtf8(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Marks the multi-line edits whose Enter goes to the dialog.
constexpr const char* kEnterToDialog = "korvenEnterToDialog";

// Enter or the keypad's Enter, without Ctrl, Alt or Shift.
bool IsPlainEnter(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// A closed drop-down list is one line high; the template's height is that of the
// open list.
constexpr int kComboLineHeight = 12;

} // namespace

QFont DialogFont(int pointSize, bool fixedPitch)
{
    QFont font = fixedPitch ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                            : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // The templates are laid out for the classic dialog fonts; where a font of
    // their width is installed it is taken, else the system's own.
    const QStringList preferred = fixedPitch ? QStringList{QStringLiteral("Lucida Console"),
                                                           QStringLiteral("Liberation Mono")}
                                             : QStringList{QStringLiteral("Microsoft Sans Serif"),
                                                           QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
    QStringList families;
    for (const QString& family : preferred) {
        if (QFontDatabase::hasFamily(family))
            families << family;
    }
    families << font.families();
    font.setFamilies(families);
    // These fonts run about 6 % wider than the classic ones; at 15/16 of the size
    // every caption stays inside its control.
    font.setPointSizeF(pointSize * 15.0 / 16.0);
    return font;
}

CDialog::CDialog(const DialogTemplate& tpl, QWidget* parent) : QDialog(parent), m_template(tpl)
{
    setWindowTitle(QString::fromUtf8(m_template.caption));
    Qt::WindowFlags flags = ((m_template.style & AppWindow) ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint;
    if (m_template.style & SystemMenu)
        flags |= Qt::WindowSystemMenuHint;
    if (!(m_template.style & NoCloseBox))
        flags |= Qt::WindowCloseButtonHint;
    if (m_template.style & MinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setFont(DialogFont(m_template.pointSize, (m_template.style & FixedPitchFont) != 0));
    setFixedSize(DluToPixelsX(m_template.cx), DluToPixelsY(m_template.cy));
    CreateControls();
}

CDialog::~CDialog() = default;

void CDialog::CreateControls()
{
    QWidget* previous = nullptr;
    for (const ControlTemplate& control : m_template.controls) {
        QWidget* widget = CreateControl(control);
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QString::number(control.id));
            m_items[control.id] = widget;
        }
        widget->setVisible(!(control.flags & Hidden));
        // Template order is the tab order.
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr)
                setTabOrder(previous, widget);
            previous = widget;
        }
    }
}

QWidget* CDialog::CreateControl(const ControlTemplate& control)
{
    const QRect rect = DluToPixels(control.x, control.y, control.cx, control.cy);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case Kind::Edit:
        if (control.flags & MultiLine) {
            auto* edit = new QPlainTextEdit(this);
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            // Like the classic edit control: scrolls with the caret, shows no bars.
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->document()->setDocumentMargin(2);
            edit->setReadOnly(control.flags & ReadOnly);
            edit->setTabChangesFocus(true);
            if (!(control.flags & WantReturn)) {
                edit->setProperty(kEnterToDialog, true);
                edit->installEventFilter(this);
            }
            widget = edit;
        } else {
            auto* edit = new QLineEdit(QString::fromUtf8(control.caption), this);
            if (control.flags & RightAlign)
                edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (control.flags & Password)
                edit->setEchoMode(QLineEdit::Password);
            edit->setReadOnly(control.flags & ReadOnly);
            widget = edit;
        }
        break;
    case Kind::PushButton: {
        auto* button = new QPushButton(FromUtf8(control.caption), this);
        // Qt makes buttons in a dialog auto-default; only the template's default
        // button may react to Enter.
        const bool isDefault = (control.flags & DefaultButton) != 0;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] { SendCommand(id); });
        widget = button;
        break;
    }
    case Kind::CheckBox: {
        auto* box = new QCheckBox(FromUtf8(control.caption), this);
        if (control.flags & TextLeft)
            box->setLayoutDirection(Qt::RightToLeft);
        const int id = control.id;
        connect(box, &QCheckBox::clicked, this, [this, id] { SendCommand(id); });
        widget = box;
        break;
    }
    case Kind::Label: {
        auto* label = new QLabel(FromUtf8(control.caption), this);
        label->setWordWrap(label->text().contains(QLatin1Char('\n')));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (control.flags & Sunken) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        widget = label;
        break;
    }
    case Kind::GroupBox:
        widget = new QGroupBox(FromUtf8(control.caption), this);
        break;
    case Kind::Picture: {
        auto* picture = new QLabel(this);
        const QPixmap pixmap = LoadBitmap(control.bitmap);
        picture->setPixmap(pixmap);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = picture;
        // A picture control takes the size of its bitmap.
        widget->setGeometry(QRect(rect.topLeft(), pixmap.deviceIndependentSize().toSize()));
        return widget;
    }
    case Kind::ComboBox: {
        auto* combo = new QComboBox(this);
        for (const char* item : control.items)
            combo->addItem(QString::fromUtf8(item));
        // The open list is as high as the template says.
        combo->setMaxVisibleItems(std::max(1, DluToPixelsY(control.cy - kComboLineHeight) / 20));
        const int id = control.id;
        connect(combo, &QComboBox::activated, this, [this, id] { SendCommand(id); });
        widget = combo;
        widget->setGeometry(QRect(rect.x(), rect.y(), rect.width(), DluToPixelsY(kComboLineHeight)));
        return widget;
    }
    case Kind::Progress: {
        auto* bar = new QProgressBar(this);
        bar->setTextVisible(false);
        widget = bar;
        break;
    }
    }
    if (control.flags & NoTabStop)
        widget->setFocusPolicy(Qt::NoFocus);
    widget->setGeometry(rect);
    return widget;
}

int CDialog::DoModal()
{
    m_endedWithResult = false;
    InitDialog();
    const int result = exec();
    return m_endedWithResult ? result : kNoResult;
}

void CDialog::done(int result)
{
    m_endedWithResult = true;
    QDialog::done(result);
}

void CDialog::InitDialog()
{
    if (m_initialized)
        return;
    m_initialized = true;
    if (OnInitDialog()) {
        // As on the classic dialog manager: true gives the first tab stop the
        // focus, even where the dialog put it elsewhere.
        for (const ControlTemplate& control : m_template.controls) {
            QWidget* widget = GetDlgItem(control.id);
            if (widget != nullptr && widget->isVisibleTo(this) && widget->focusPolicy() != Qt::NoFocus) {
                widget->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
}

void CDialog::EndDialog(int result)
{
    done(result);
}

QWidget* CDialog::GetDlgItem(int id) const
{
    const auto found = m_items.find(id);
    return found != m_items.end() ? found->second : nullptr;
}

void CDialog::ShowItem(int id, bool show)
{
    if (QWidget* widget = GetDlgItem(id))
        widget->setVisible(show);
}

void CDialog::SetFocusTo(int id)
{
    if (QWidget* widget = GetDlgItem(id))
        widget->setFocus(Qt::OtherFocusReason);
}

std::string CDialog::GetItemText(int id) const
{
    QWidget* widget = GetDlgItem(id);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        text = edit->text();
    else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget))
        text = multi->toPlainText().replace(QLatin1String("\n"), QLatin1String("\r\n"));
    else if (auto* label = qobject_cast<QLabel*>(widget))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        text = button->text();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        text = combo->currentText();
    return text.toStdString();
}

void CDialog::SetItemText(int id, const std::string& value)
{
    QWidget* widget = GetDlgItem(id);
    const QString text = FromUtf8(value);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != text) {
            edit->setText(text);
            // Like an edit control given a new text: its start is in view.
            edit->setCursorPosition(0);
        }
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) {
        multi->setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentText(text);
    }
}

void DDX_Text(DataExchange& dx, int id, std::string& value)
{
    if (dx.Saving())
        value = dx.Dialog().GetItemText(id);
    else
        dx.Dialog().SetItemText(id, value);
}

void DDX_Check(DataExchange& dx, int id, int& value)
{
    auto* box = dx.Dialog().Item<QCheckBox>(id);
    if (box == nullptr)
        return;
    if (dx.Saving())
        value = box->isChecked() ? 1 : 0;
    else
        box->setChecked(value != 0);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return true;
}

void CDialog::SetTimer(int id, int milliseconds)
{
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        // Coarse timers may drift by 5 %, which would show in the rhythm of the
        // live reading.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(milliseconds);
}

void CDialog::KillTimer(int id)
{
    const auto found = m_timers.find(id);
    if (found != m_timers.end())
        found->second->stop();
}

bool CDialog::IsTimerRunning(int id) const
{
    const auto found = m_timers.find(id);
    return found != m_timers.end() && found->second->isActive();
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    return ui::MessageBox(this, text, caption, type);
}

void CDialog::SendCommand(int id)
{
    const auto found = m_commands.find(id);
    if (found != m_commands.end()) {
        found->second();
        return;
    }
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

void CDialog::DoDataExchange(DataExchange&) {}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(int) {}

void CDialog::OnSysCommand(unsigned) {}

void CDialog::OnWatchedKey(QKeyCombination) {}

void CDialog::WatchKey(QKeyCombination key)
{
    // A focused control sees its keys before its window does (a line edit takes
    // Ctrl+K as "delete to the end of the line"), so the watch sits in front of
    // every object of the application.
    if (m_watchedKeys.empty())
        QCoreApplication::instance()->installEventFilter(this);
    m_watchedKeys.push_back(key);
}

bool CDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    // A multi-line edit without the want-return style hands Enter to the dialog,
    // which presses the default button; Ctrl+Enter still breaks the line.
    if (watched->parent() == this && watched->property(kEnterToDialog).toBool() && IsPlainEnter(*keyEvent)) {
        QDialog::keyPressEvent(keyEvent);
        return true;
    }
    // Another modal window (a message box, a prompt) has the keyboard: its keys
    // are not this window's.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this)
        return QDialog::eventFilter(watched, event);
    bool inside = false;
    for (auto* widget = static_cast<QWidget*>(watched); widget != nullptr && !inside; widget = widget->parentWidget())
        inside = widget == this;
    // A control key gives the same character with or without Shift.
    const QKeyCombination pressed(keyEvent->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier),
                                  Qt::Key(keyEvent->key()));
    if (!inside || std::find(m_watchedKeys.begin(), m_watchedKeys.end(), pressed) == m_watchedKeys.end())
        return QDialog::eventFilter(watched, event);
    OnWatchedKey(pressed);
    return true;
}

void CDialog::OnClicked(int id, std::function<void()> handler)
{
    m_commands[id] = std::move(handler);
}

void CDialog::OnSelChange(int id, std::function<void()> handler)
{
    m_commands[id] = std::move(handler);
}

// Enter without a default button, and the default button itself, arrive here.
void CDialog::accept()
{
    OnOK();
}

// Escape arrives here.
void CDialog::reject()
{
    OnCancel();
}

// The close box and Alt+F4 turn into the same cancel command as Escape.
void CDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (!(m_template.style & NoCloseBox))
        OnCancel();
}

bool CDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    if (HandlePlatformSystemCommand(*this, eventType, message))
        return true;
    return QDialog::nativeEvent(eventType, message, result);
}

void CDialog::AppendSystemMenuItem(unsigned commandId, const std::string& text)
{
    AppendPlatformSystemMenuItem(*this, commandId, text);
}

void SystemMenuAccess::Invoke(CDialog& dialog, unsigned commandId)
{
    dialog.OnSysCommand(commandId);
}

} // namespace ui
