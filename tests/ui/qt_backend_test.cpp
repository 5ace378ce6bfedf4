// What only the Qt backend shows: the widget classes and names behind the
// controls, the window's size, default buttons, the tab chain and the about
// entry's context menu.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "service/password_dlg.h"
#include "tests/app/main_controls.h"
#include "tests/support/window_fixture.h"
#include "ui/qt/qt_access.h"

namespace {

const char* QtClass(ui::Kind kind)
{
    switch (kind) {
    case ui::Kind::Edit:
        return "QLineEdit";
    case ui::Kind::PushButton:
        return "QPushButton";
    case ui::Kind::CheckBox:
        return "QCheckBox";
    case ui::Kind::ComboBox:
        return "QComboBox";
    default:
        return "QLabel";
    }
}

using QtBackendTest = WindowTest;

TEST_F(QtBackendTest, MainWindowControlsAreNamedWidgetsOfTheirKindAndNoButtonIsDefault)
{
    OpenWindow();
    QDialog* window = ui::QtWindow(*dlg);
    EXPECT_EQ(window->size(), QSize(480, 341));
    for (const ExpectedControl& control : kControls) {
        SCOPED_TRACE(control.id);
        QWidget* widget = window->findChild<QWidget*>(QString::number(control.id));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget, ui::QtItem(*dlg, control.id));
        EXPECT_TRUE(widget->inherits(QtClass(control.kind))) << widget->metaObject()->className();
    }
    // No push button reacts to Enter by itself.
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
    // The window manager's menu can't be extended: the about entry is in the context menu.
    EXPECT_EQ(window->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(QtBackendTest, TabOrderFollowsTheTemplate)
{
    OpenWindow();
    const int order[] = {1011, 1013, 1015, 1014, 1016, 1012, 1017, 1006, 1007, 1008, 1009, 1001, 1002};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(ui::QtItem(*dlg, order[i])->nextInFocusChain(), ui::QtItem(*dlg, order[i + 1])) << order[i];
}

TEST_F(QtBackendTest, PasswordPromptHidesTheTypingAndOkIsItsDefaultButton)
{
    CPasswordDlg prompt;
    EXPECT_EQ(qobject_cast<QLineEdit*>(ui::QtItem(prompt, IDC_PASSWORD))->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(qobject_cast<QPushButton*>(ui::QtItem(prompt, ui::IDOK))->isDefault());
}

} // namespace
