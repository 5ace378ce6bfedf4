// The dialog kit on Qt Widgets: a QDialog made from the template, one widget per
// control, QTimers by id and an event filter for the watched keys.

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "res/bitmaps.h"
#include "ui/dialog_backend.h"
#include "ui/qt/qt_access.h"

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

QRect ToQRect(const Rect& rect)
{
    return QRect(rect.x, rect.y, rect.width, rect.height);
}

QColor ToQColor(Color color)
{
    return QColor(color.red, color.green, color.blue);
}

// The kit's painter on a QPainter.
class QtPainter final : public Painter {
public:
    QtPainter(QPainter& painter, QSize size) : m_painter(painter), m_size(size) {}
    int Width() const override { return m_size.width(); }
    int Height() const override { return m_size.height(); }
    int TextHeight() const override { return m_painter.fontMetrics().height(); }
    void FillRect(const Rect& rect, Color color) override { m_painter.fillRect(ToQRect(rect), ToQColor(color)); }
    void Polyline(const std::vector<Point>& points, Color color, LineStyle style) override
    {
        QPolygon polygon;
        polygon.reserve(static_cast<qsizetype>(points.size()));
        for (const Point& point : points)
            polygon << QPoint(point.x, point.y);
        m_painter.setPen(QPen(ToQColor(color), 0, style == LineStyle::Dashed ? Qt::DashLine : Qt::SolidLine));
        if (points.size() == 1)
            m_painter.drawPoint(polygon.front());
        else
            m_painter.drawPolyline(polygon);
    }
    void Text(Point at, const std::string& text, Color color, TextAlign align) override
    {
        const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        const int width = m_painter.fontMetrics().horizontalAdvance(line);
        const int left = align == TextAlign::Left ? at.x : align == TextAlign::Center ? at.x - width / 2 : at.x - width;
        m_painter.setPen(ToQColor(color));
        m_painter.drawText(QPoint(left, at.y + m_painter.fontMetrics().ascent()), line);
    }

private:
    QPainter& m_painter;
    QSize m_size;
};

// A control the dialog draws itself.
class CanvasWidget final : public QWidget {
public:
    CanvasWidget(QWidget* parent, std::function<void(Painter&)> draw) : QWidget(parent), m_draw(std::move(draw))
    {
        // Every pixel is drawn each time.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QtPainter kitPainter(painter, size());
        m_draw(kitPainter);
    }

private:
    std::function<void(Painter&)> m_draw;
};

class QtDialog final : public QDialog, public DialogBackend {
public:
    QtDialog(CDialog& dialog, QWidget* parent) : QDialog(parent), m_dialog(dialog), m_template(dialog.Template())
    {
        setWindowTitle(QString::fromUtf8(m_template.caption));
        Qt::WindowFlags flags =
            ((m_template.style & AppWindow) ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
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

    QWidget* Item(int id) const
    {
        const auto found = m_items.find(id);
        return found != m_items.end() ? found->second : nullptr;
    }
    template <class T> T* ItemAs(int id) const { return qobject_cast<T*>(Item(id)); }

    int RunModal() override
    {
        m_endedWithResult = false;
        const int result = exec();
        // A loop ended by the program's quit returns whatever result was set last.
        return m_endedWithResult ? result : kEndedWithoutResult;
    }
    void End(int result) override { done(result); }
    void Show() override
    {
        // A window shown anew comes up in front; one already open is brought there,
        // out of its minimized state.
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        if (isVisible()) {
            raise();
            activateWindow();
        }
        show();
    }
    bool IsWindowVisible() const override { return isVisible(); }

    bool HasItem(int id) const override { return Item(id) != nullptr; }
    void ShowItem(int id, bool show) override
    {
        if (QWidget* widget = Item(id))
            widget->setVisible(show);
    }
    bool IsItemVisible(int id) const override
    {
        QWidget* widget = Item(id);
        return widget != nullptr && widget->isVisibleTo(this);
    }
    void EnableItem(int id, bool enable) override
    {
        if (QWidget* widget = Item(id))
            widget->setEnabled(enable);
    }
    void SetFocusTo(int id) override
    {
        if (QWidget* widget = Item(id))
            widget->setFocus(Qt::OtherFocusReason);
    }
    int FocusedItem() const override
    {
        for (const auto& [id, widget] : m_items) {
            if (widget == focusWidget())
                return id;
        }
        return 0;
    }
    bool IsTabStop(int id) const override
    {
        QWidget* widget = Item(id);
        return widget != nullptr && widget->focusPolicy() != Qt::NoFocus;
    }

    std::string GetItemText(int id) const override
    {
        QWidget* widget = Item(id);
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

    void SetItemText(int id, const std::string& value) override
    {
        QWidget* widget = Item(id);
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

    int GetCheck(int id) const override
    {
        auto* box = ItemAs<QCheckBox>(id);
        return box != nullptr && box->isChecked() ? 1 : 0;
    }
    void SetCheck(int id, int check) override
    {
        if (auto* box = ItemAs<QCheckBox>(id))
            box->setChecked(check != 0);
    }

    int GetCurSel(int id) const override
    {
        auto* combo = ItemAs<QComboBox>(id);
        return combo != nullptr ? combo->currentIndex() : -1;
    }
    void SetCurSel(int id, int index) override
    {
        if (auto* combo = ItemAs<QComboBox>(id))
            combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
    std::vector<std::string> GetItemList(int id) const override
    {
        std::vector<std::string> entries;
        if (auto* combo = ItemAs<QComboBox>(id)) {
            for (int i = 0; i < combo->count(); ++i)
                entries.push_back(combo->itemText(i).toStdString());
        }
        return entries;
    }

    int AddListItem(int id, const std::string& text) override
    {
        auto* combo = ItemAs<QComboBox>(id);
        if (combo == nullptr)
            return -1;
        combo->addItem(FromUtf8(text));
        return combo->count() - 1;
    }

    void SetProgressRange(int id, int lower, int upper) override
    {
        if (auto* bar = ItemAs<QProgressBar>(id))
            bar->setRange(lower, upper);
    }
    void SetProgressPos(int id, int position) override
    {
        if (auto* bar = ItemAs<QProgressBar>(id))
            bar->setValue(position);
    }
    int GetProgressPos(int id) const override
    {
        auto* bar = ItemAs<QProgressBar>(id);
        return bar != nullptr ? bar->value() : 0;
    }

    Rect ItemRect(int id) const override
    {
        QWidget* widget = Item(id);
        if (widget == nullptr)
            return {};
        const QRect rect = widget->geometry();
        return Rect{rect.x(), rect.y(), rect.width(), rect.height()};
    }

    Rect MapDialogRect(const Rect& units) const override
    {
        return DluToPixels(units.x, units.y, units.width, units.height);
    }

    std::string GetWindowText() const override { return windowTitle().toStdString(); }
    void SetWindowText(const std::string& text) override { setWindowTitle(FromUtf8(text)); }
    void SetIcon(int resourceId) override { setWindowIcon(LoadIcon(resourceId)); }
    void SetItemIcon(int id, int resourceId) override
    {
        if (auto* label = ItemAs<QLabel>(id))
            label->setPixmap(LoadIcon(resourceId).pixmap(32, 32));
    }

    void InvalidateItem(int id) override
    {
        if (QWidget* widget = Item(id))
            widget->update();
    }

    void SetTimer(int id, int milliseconds) override
    {
        QTimer*& timer = m_timers[id];
        if (timer == nullptr) {
            timer = new QTimer(this);
            // Coarse timers may drift by 5 %, which would show in the rhythm of the
            // live reading.
            timer->setTimerType(Qt::PreciseTimer);
            connect(timer, &QTimer::timeout, this, [this, id] { RouteTimer(m_dialog, id); });
        }
        timer->start(milliseconds);
    }
    void KillTimer(int id) override
    {
        const auto found = m_timers.find(id);
        if (found != m_timers.end())
            found->second->stop();
    }
    bool IsTimerRunning(int id) const override
    {
        const auto found = m_timers.find(id);
        return found != m_timers.end() && found->second->isActive();
    }

    // A focused control sees its keys before its window does (a line edit takes
    // Ctrl+K as "delete to the end of the line"), so the watch sits in front of
    // every object of the application.
    void StartKeyWatch() override { QCoreApplication::instance()->installEventFilter(this); }

    // The window manager's menu can't be extended from here, so the entries live
    // in the context menu of the window's background (right click beside the controls).
    void AppendSystemMenuItem(unsigned commandId, const std::string& text) override
    {
        if (text.empty())
            return;
        if (m_menuItems.empty()) {
            setContextMenuPolicy(Qt::CustomContextMenu);
            connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
                QMenu menu(this);
                menu.addSeparator();
                std::map<QAction*, unsigned> commands;
                for (const auto& [command, caption] : m_menuItems)
                    commands[menu.addAction(caption)] = command;
                const auto chosen = commands.find(menu.exec(mapToGlobal(position)));
                if (chosen != commands.end())
                    RouteSysCommand(m_dialog, chosen->second);
            });
        }
        m_menuItems.emplace_back(commandId, FromUtf8(text));
    }

protected:
    // Enter without a default button, and the default button itself, arrive here.
    void accept() override { RouteOK(m_dialog); }
    // Escape arrives here.
    void reject() override { RouteCancel(m_dialog); }
    // The close box and Alt+F4 turn into the same cancel command as Escape.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (!(m_template.style & NoCloseBox))
            RouteCancel(m_dialog);
    }
    // A dialog that refuses to end now (a pass is running) stays open.
    void done(int result) override
    {
        if (!CanEnd(m_dialog))
            return;
        m_endedWithResult = true;
        QDialog::done(result);
    }

    // Sees every event of the application once a key is watched, and the keys
    // of multi-line edits without the want-return style.
    bool eventFilter(QObject* watched, QEvent* event) override
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
        for (auto* widget = static_cast<QWidget*>(watched); widget != nullptr && !inside;
             widget = widget->parentWidget()) {
            inside = widget == this;
            // A window of its own (the trend window) is not this one's, though its child.
            if (widget->isWindow())
                break;
        }
        // A control key gives the same character with or without Shift.
        const Qt::KeyboardModifiers modifiers = keyEvent->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        const int key = keyEvent->key();
        if (!inside || modifiers != Qt::ControlModifier || key < Qt::Key_A || key > Qt::Key_Z)
            return QDialog::eventFilter(watched, event);
        return RouteKey(m_dialog, Hotkey{ModControl, static_cast<char>('A' + (key - Qt::Key_A))}) ||
               QDialog::eventFilter(watched, event);
    }

private:
    void CreateControls()
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

    QWidget* CreateControl(const ControlTemplate& control)
    {
        const QRect rect = ToQRect(DluToPixels(control.x, control.y, control.cx, control.cy));
        QWidget* widget = nullptr;
        switch (control.kind) {
        case Kind::Edit:
            if (control.flags & MultiLine) {
                auto* edit = new QPlainTextEdit(this);
                edit->setLineWrapMode(QPlainTextEdit::NoWrap);
                // Like the classic edit control: scrolls with the caret, shows no
                // bars unless the template asks for them.
                const Qt::ScrollBarPolicy bars =
                    (control.flags & ScrollBars) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
                edit->setHorizontalScrollBarPolicy(bars);
                edit->setVerticalScrollBarPolicy(bars);
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
            connect(button, &QPushButton::clicked, this, [this, id] { RouteCommand(m_dialog, id); });
            widget = button;
            break;
        }
        case Kind::CheckBox: {
            auto* box = new QCheckBox(FromUtf8(control.caption), this);
            if (control.flags & TextLeft)
                box->setLayoutDirection(Qt::RightToLeft);
            const int id = control.id;
            connect(box, &QCheckBox::clicked, this, [this, id] { RouteCommand(m_dialog, id); });
            widget = box;
            break;
        }
        case Kind::Label: {
            auto* label = new QLabel(FromUtf8(control.caption), this);
            // Shows its text as it is: a file's path is no markup.
            label->setTextFormat(Qt::PlainText);
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
            connect(combo, &QComboBox::activated, this, [this, id] { RouteCommand(m_dialog, id); });
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
        case Kind::Canvas: {
            const int id = control.id;
            widget = new CanvasWidget(this, [this, id](Painter& painter) { RouteDraw(m_dialog, id, painter); });
            widget->setFocusPolicy(Qt::NoFocus);
            break;
        }
        }
        if (control.flags & NoTabStop)
            widget->setFocusPolicy(Qt::NoFocus);
        widget->setGeometry(rect);
        return widget;
    }

    CDialog& m_dialog;
    const DialogTemplate& m_template;
    std::map<int, QWidget*> m_items;
    std::map<int, QTimer*> m_timers;
    std::vector<std::pair<unsigned, QString>> m_menuItems;
    bool m_endedWithResult = false;
};

} // namespace

QFont DialogFont(int pointSize, bool fixedPitch)
{
    QFont font = fixedPitch ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                            : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // The templates are laid out for the classic dialog fonts; where a font of
    // their width is installed it is taken, else the system's own.
    const QStringList preferred = fixedPitch
                                      ? QStringList{QStringLiteral("Lucida Console"), QStringLiteral("Liberation Mono")}
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

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& dialog, CDialog* parent)
{
    return std::make_unique<QtDialog>(dialog, parent != nullptr ? QtWindow(*parent) : nullptr);
}

bool IsKitWindow(const QWidget* window)
{
    return dynamic_cast<const QtDialog*>(window) != nullptr;
}

QDialog* QtWindow(const CDialog& dialog)
{
    return static_cast<QtDialog*>(&dialog.Backend());
}

QWidget* QtItem(const CDialog& dialog, int id)
{
    return static_cast<QtDialog*>(&dialog.Backend())->Item(id);
}

} // namespace ui
