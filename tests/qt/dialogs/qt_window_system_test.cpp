// QtWindowSystem: templates run modally as real windows over their owners,
// nested runs, the active window, message boxes and browser controls.

#include "platform/linux/qt/qt_window_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "dialog_test_support.h"
#include "platform/linux/qt/qt_dialog_metrics.h"
#include "resources/console_template.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "resources/server_wait_template.h"
#include "resources/tip_template.h"

namespace kx::qt_test {
namespace {

using namespace std::chrono_literals;
using Command = ScriptedHandler::Command;

qt_dialog::BaseUnits BaseOf(DialogHost& host) {
    const PixelRect unit = host.MapDialogRect({0, 0, 4, 8});
    return {unit.right, unit.bottom};
}

// Ends the dialog with `result` from its loop once it is on screen, after `steps`.
void EndOnceShown(ScriptedHandler& h, int result, std::function<void()> steps = {}) {
    Later([&h, result, steps] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(h.Window()));
        if (steps) steps();
        if (h.HasHost()) h.host().EndDialog(result);
    });
}

TEST(QtWindowSystem, RunModalShowsTheWindowAfterInitAndAnswersEndDialogsResult) {
    QtWindowSystem windows;
    ScriptedHandler h;
    bool shown_in_loop = false;
    h.on_init = [&](DialogHost&) {
        EndOnceShown(h, 42, [&] { shown_in_loop = h.Window()->isVisible(); });
    };
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), h, kNoWindow), 42);
    EXPECT_FALSE(h.visible_at_init);
    EXPECT_TRUE(shown_in_loop);
    EXPECT_EQ(h.destroys, 1);
}

TEST(QtWindowSystem, TheLoginTemplateIsBuiltToItsDialogUnits) {
    QtWindowSystem windows;
    ScriptedHandler h;
    h.on_init = [&](DialogHost& host) {
        const qt_dialog::BaseUnits base = BaseOf(host);
        RecordProperty("base_units", std::to_string(base.x) + "x" + std::to_string(base.y));
        EXPECT_EQ(h.Window()->size(), qt_dialog::ClientSize(LoginTemplate(), base));
        EXPECT_EQ(host.GetClientRect(),
                  (PixelRect{0, 0, qt_dialog::MulDiv(186, base.x, 4),
                             qt_dialog::MulDiv(220, base.y, 8)}));
        // The user name field: 62, 15, 114 x 12 dialog units.
        EXPECT_EQ(host.GetItemRect(login_control::kUserName),
                  (PixelRect{qt_dialog::MulDiv(62, base.x, 4), qt_dialog::MulDiv(15, base.y, 8),
                             qt_dialog::MulDiv(62, base.x, 4) + qt_dialog::MulDiv(114, base.x, 4),
                             qt_dialog::MulDiv(15, base.y, 8) + qt_dialog::MulDiv(12, base.y, 8)}));
        for (const ControlTemplate& control : LoginTemplate().controls) {
            if (control.id == kIdStatic) continue;
            const QRect built = h.Item(control.id)->geometry();
            const QRect wanted = qt_dialog::ControlRect(control, base);
            if (control.kind == ControlKind::AutoCheckBox) {
                // A check box may grow so that its whole box and label show,
                // to the right and about its middle.
                const QSize hint = h.Item(control.id)->sizeHint();
                EXPECT_EQ(built.left(), wanted.left()) << control.id;
                EXPECT_GE(built.width(), std::max(wanted.width(), hint.width())) << control.id;
                EXPECT_GE(built.height(), std::max(wanted.height(), hint.height())) << control.id;
                EXPECT_LE(std::abs(built.center().y() - wanted.center().y()), 1) << control.id;
            } else {
                EXPECT_EQ(built, wanted) << control.id;
            }
        }
        EXPECT_EQ(h.Window()->windowTitle(), "Please enter your username and password");
        EndOnceShown(h, 1, [&h, base] {
            EXPECT_EQ(h.Window()->size(), qt_dialog::ClientSize(LoginTemplate(), base));
        });
    };
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), h, kNoWindow), 1);
}

TEST(QtWindowSystem, TheConsoleTakesExactlyTheClientSizeItAsksFor) {
    QtWindowSystem windows;
    ScriptedHandler h;
    h.on_init = [&](DialogHost& host) {
        // As ConsoleDialog::OnInit does.
        host.SetClientSize(800, 545);
        const PixelRect client = host.GetClientRect();
        host.MoveItem(console_control::kBrowser, {0, 0, client.width(), client.height()});
        host.CenterOnOwner();
        EndOnceShown(h, 2, [&] {
            EXPECT_EQ(h.Window()->size(), QSize(800, 545));
            EXPECT_EQ(h.Window()->minimumSize(), QSize(800, 545));
            EXPECT_EQ(h.Window()->maximumSize(), QSize(800, 545));
            EXPECT_EQ(h.host().GetClientRect(), (PixelRect{0, 0, 800, 545}));
            EXPECT_EQ(h.Item(console_control::kBrowser)->geometry(), QRect(0, 0, 800, 545));
            const QRect area = h.Window()->screen()->availableGeometry();
            EXPECT_TRUE(area.contains(h.Window()->frameGeometry()));
        });
    };
    EXPECT_EQ(RunGuarded(windows, ConsoleTemplate(), h, kNoWindow), 2);
}

TEST(QtWindowSystem, WindowsHaveNoMinimiseOrMaximiseBoxAndACloseBoxOnlyWithASystemMenu) {
    QtWindowSystem windows;
    struct Case {
        const DialogTemplate* dialog;
        bool close_box;
        bool title;
    };
    for (const Case& c : {Case{&ConsoleTemplate(), true, true}, Case{&LoginTemplate(), false, true},
                          Case{&TipTemplate(), false, false},
                          Case{&ServerWaitTemplate(), false, false}}) {
        ScriptedHandler h;
        h.on_init = [&](DialogHost&) {
            const Qt::WindowFlags flags = h.Window()->windowFlags();
            EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint)) << c.dialog->resource_id;
            EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint)) << c.dialog->resource_id;
            EXPECT_EQ(flags.testFlag(Qt::WindowCloseButtonHint), c.close_box)
                << c.dialog->resource_id;
            EXPECT_EQ(flags.testFlag(Qt::FramelessWindowHint), !c.title) << c.dialog->resource_id;
            EXPECT_EQ(h.Window()->minimumSize(), h.Window()->maximumSize());
            EndOnceShown(h, 1);
        };
        EXPECT_EQ(RunGuarded(windows, *c.dialog, h, kNoWindow), 1);
    }
}

TEST(QtWindowSystem, TheOwnerIsDisabledDuringTheRunAndEnabledAfter) {
    QtWindowSystem windows;
    ScriptedHandler outer;
    ScriptedHandler inner;
    int inner_result = 0;
    bool owner_enabled_during_init = true;
    bool owner_enabled_in_loop = true;
    bool inner_enabled = false;
    QWidget* inner_parent = nullptr;
    Qt::WindowModality inner_modality = Qt::NonModal;
    WindowId inner_window = kNoWindow;
    inner.on_init = [&](DialogHost& host) {
        inner_window = host.Window();
        owner_enabled_during_init = outer.Window()->isEnabled();
        EndOnceShown(inner, 9, [&] {
            owner_enabled_in_loop = outer.Window()->isEnabled();
            inner_enabled = inner.Window()->isEnabled() && inner.Item(kIdOk)->isEnabled();
            inner_parent = inner.Window()->parentWidget();
            inner_modality = inner.Window()->windowModality();
            // The owner's own controls keep their state for the core to read.
            EXPECT_TRUE(outer.host().IsItemEnabled(login_control::kUserName));
        });
    };
    outer.on_init = [&](DialogHost&) {
        EndOnceShown(outer, 1, [&] {
            EXPECT_TRUE(outer.Window()->isEnabled());
            inner_result = RunGuarded(windows, LoginTemplate(), inner, outer.host().Window());
            EXPECT_TRUE(outer.Window()->isEnabled());
            EXPECT_TRUE(outer.Item(login_control::kUserName)->isEnabled());
            EXPECT_EQ(QtWindowSystem::WidgetOf(inner_window), nullptr);
        });
    };
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), outer, kNoWindow), 1);
    EXPECT_EQ(inner_result, 9);
    EXPECT_FALSE(owner_enabled_during_init);
    EXPECT_FALSE(owner_enabled_in_loop);
    EXPECT_TRUE(inner_enabled);
    EXPECT_NE(inner_parent, nullptr);
    EXPECT_EQ(inner_modality, Qt::WindowModal);
}

TEST(QtWindowSystem, LoginThenRegistrationThenAMessageBoxNestAndUnwind) {
    QtWindowSystem windows;
    ScriptedHandler login;
    ScriptedHandler registration;
    SeenBox seen;
    QWidget* box_owner_expected = nullptr;
    bool box_owner_right = false;
    WindowId registration_owner = kNoWindow;
    WindowId login_window = kNoWindow;
    int registration_result = 0;

    registration.on_init = [&](DialogHost& host) {
        host.AddListItem(registration_control::kCountry, "Canada");
        host.AddListItem(registration_control::kCountry, "United States");
        EXPECT_EQ(host.SelectListItem(registration_control::kCountry, "united"), 1);
        Later([&] {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(registration.Window()));
            // The form's reply, owned by whichever window is active.
            box_owner_expected = registration.Window();
            AnswerNextMessageBox(QMessageBox::Ok, &seen, [&](QMessageBox& box) {
                box_owner_right = box.parentWidget() == box_owner_expected;
                // Both dialogs below the box are disabled meanwhile.
                EXPECT_FALSE(registration.Window()->isEnabled());
                EXPECT_FALSE(login.Window()->isEnabled());
            });
            EXPECT_EQ(windows.ActiveWindow(), registration.host().Window());
            windows.ShowMessageBox(windows.ActiveWindow(),
                                   "Congratulations!, You have successfully created a new account",
                                   "Congratulations!", MessageBoxButtons::Ok);
            QTest::keyClick(registration.Item(registration_control::kUserName), Qt::Key_Escape);
        });
    };
    registration.on_command = [&](int id, int) {
        if (id == kIdCancel) registration.host().EndDialog(0);
    };

    login.on_command = [&](int id, int notification) {
        if (id == login_control::kRegister && notification == kBnClicked) {
            registration_owner = windows.ActiveWindow();
            registration_result =
                RunGuarded(windows, RegistrationTemplate(), registration, registration_owner);
            login.host().SetItemText(login_control::kUserName, "newplayer");
            // Back on top: a box now belongs to the login.
            EXPECT_EQ(windows.ActiveWindow(), login.host().Window());
            login.host().EndDialog(1);
        }
    };
    login.on_init = [&](DialogHost& host) {
        login_window = host.Window();
        Later([&] {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(login.Window()));
            EXPECT_EQ(windows.ActiveWindow(), login.host().Window());
            QTest::mouseClick(login.Item(login_control::kRegister), Qt::LeftButton);
        });
    };

    EXPECT_EQ(windows.ActiveWindow(), kNoWindow);
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), login, kNoWindow), 1);
    EXPECT_EQ(registration_owner, login_window);
    EXPECT_EQ(registration_result, 0);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.title, "Congratulations!");
    EXPECT_TRUE(box_owner_right);
    EXPECT_EQ(registration.commands, (std::vector<Command>{{kIdCancel, kBnClicked}}));
    EXPECT_EQ(windows.ActiveWindow(), kNoWindow);
    EXPECT_EQ(QtWindowSystem::WidgetOf(login_window), nullptr);
}

TEST(QtWindowSystem, MessageBoxesAreOwnedByTheGivenWindowOrTheApplication) {
    QtWindowSystem windows;
    ScriptedHandler h;
    SeenBox owned;
    SeenBox unowned;
    QWidget* owner_widget = nullptr;
    bool parent_was_owner = false;
    MessageBoxResult first = MessageBoxResult::Cancel;
    MessageBoxResult second = MessageBoxResult::Cancel;
    h.on_init = [&](DialogHost&) {
        EndOnceShown(h, 1, [&] {
            owner_widget = h.Window();
            AnswerNextMessageBox(QMessageBox::Yes, &owned, [&](QMessageBox& box) {
                parent_was_owner = box.parentWidget() == owner_widget;
            });
            first = windows.ShowMessageBox(h.host().Window(), "Install the update now?",
                                           "Kestrix Console", MessageBoxButtons::YesNo);
            AnswerNextMessageBox(QMessageBox::Ok, &unowned);
            second = windows.ShowMessageBox(kNoWindow, "Out of memory", "Console Error",
                                            MessageBoxButtons::Ok);
        });
    };
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), h, kNoWindow), 1);
    EXPECT_EQ(first, MessageBoxResult::Yes);
    EXPECT_EQ(second, MessageBoxResult::Ok);
    EXPECT_TRUE(parent_was_owner);
    EXPECT_EQ(owned.modality, Qt::WindowModal);
    EXPECT_EQ(owned.text, "Install the update now?");
    EXPECT_EQ(unowned.parent, nullptr);
    EXPECT_EQ(unowned.modality, Qt::ApplicationModal);
    EXPECT_EQ(unowned.text, "Out of memory");
    EXPECT_EQ(unowned.title, "Console Error");
}

TEST(QtWindowSystem, WindowIdsNameLiveDialogsOnly) {
    QtWindowSystem windows;
    ScriptedHandler h;
    WindowId window = kNoWindow;
    h.on_init = [&](DialogHost& host) {
        window = host.Window();
        EXPECT_NE(window, kNoWindow);
        EXPECT_EQ(QtWindowSystem::WidgetOf(window), h.Window());
        EXPECT_EQ(reinterpret_cast<QWidget*>(window), h.Window());
        EndOnceShown(h, 1, [&] { EXPECT_EQ(h.host().Window(), window); });
    };
    EXPECT_EQ(QtWindowSystem::WidgetOf(kNoWindow), nullptr);
    EXPECT_EQ(RunGuarded(windows, LoginTemplate(), h, kNoWindow), 1);
    EXPECT_EQ(QtWindowSystem::WidgetOf(window), nullptr);
}

TEST(QtWindowSystem, CentresOnTheOwnerAndStaysInsideTheWorkArea) {
    QtWindowSystem windows;
    ScriptedHandler owner;
    ScriptedHandler child;
    QRect owner_frame;
    QRect child_frame;
    QRect area;
    child.on_init = [&](DialogHost& host) {
        host.CenterOnOwner();
        EndOnceShown(child, 1, [&] { child_frame = child.Window()->frameGeometry(); });
    };
    owner.on_init = [&](DialogHost& host) {
        host.SetClientSize(800, 545);
        EndOnceShown(owner, 1, [&] {
            area = owner.Window()->screen()->availableGeometry();
            owner.Window()->move(area.left() + 40, area.top() + 30);
            QTest::qWait(50);
            owner_frame = owner.Window()->frameGeometry();
            RunGuarded(windows, LoginTemplate(), child, owner.host().Window());
            // Near the work area's right edge: the box is pulled back inside.
            owner.Window()->move(area.right() - 200, area.top() + 30);
            QTest::qWait(50);
            ScriptedHandler edge;
            edge.on_init = [&](DialogHost& edge_host) {
                edge_host.CenterOnOwner();
                EndOnceShown(edge, 1, [&] {
                    EXPECT_TRUE(area.contains(edge.Window()->frameGeometry()))
                        << edge.Window()->frameGeometry().x();
                });
            };
            RunGuarded(windows, LoginTemplate(), edge, owner.host().Window());
            // A hidden owner: the work area's centre.
            owner.host().ShowWindow(Visibility::Hidden);
            ScriptedHandler hidden;
            hidden.on_init = [&](DialogHost& hidden_host) {
                hidden_host.CenterOnOwner();
                EndOnceShown(hidden, 1, [&] {
                    const QPoint centre = hidden.Window()->frameGeometry().center();
                    EXPECT_LE(std::abs(centre.x() - area.center().x()), 1);
                    EXPECT_LE(std::abs(centre.y() - area.center().y()), 1);
                });
            };
            RunGuarded(windows, LoginTemplate(), hidden, owner.host().Window());
        });
    };
    EXPECT_EQ(RunGuarded(windows, ConsoleTemplate(), owner, kNoWindow), 1);
    EXPECT_LE(std::abs(child_frame.center().x() - owner_frame.center().x()), 1);
    EXPECT_LE(std::abs(child_frame.center().y() - owner_frame.center().y()), 1);
}

TEST(QtWindowSystem, AWebBrowserControlIsMadeByTheFactoryAtItsRectangle) {
    StandInBrowsers browsers;
    QtWindowSystem windows(browsers.Factory());
    ScriptedHandler h;
    Browser* browser = nullptr;
    h.on_init = [&](DialogHost& host) {
        browser = host.GetBrowser(tip_control::kBrowser);
        EXPECT_NE(browser, nullptr);
        EXPECT_EQ(host.GetBrowser(tip_control::kDontShowAgain), nullptr);
        EXPECT_EQ(host.GetBrowser(999), nullptr);
        const ControlTemplate& control = *TipTemplate().Find(tip_control::kBrowser);
        QWidget* view = h.Item(tip_control::kBrowser);
        ASSERT_NE(view, nullptr);
        EXPECT_NE(view->findChild<QLineEdit*>("page_field"), nullptr);
        EXPECT_EQ(view->parentWidget(), h.Window());
        EXPECT_EQ(view->geometry(), qt_dialog::ControlRect(control, BaseOf(host)));
        // As TipDialog::LayOut moves it.
        host.MoveItem(tip_control::kBrowser, {0, 0, 395, 300});
        EXPECT_EQ(view->geometry(), QRect(0, 0, 395, 300));
        EndOnceShown(h, 1, [view] { EXPECT_TRUE(view->isVisible()); });
    };
    h.on_destroy = [&] {
        // Still there while the window goes.
        EXPECT_EQ(h.host().GetBrowser(tip_control::kBrowser), browser);
        browsers.events.emplace_back("on destroy");
    };
    EXPECT_EQ(RunGuarded(windows, TipTemplate(), h, kNoWindow), 1);
    EXPECT_EQ(browsers.made, 1);
    EXPECT_EQ(browsers.destroyed, 1);
    EXPECT_EQ(browsers.events, (std::vector<std::string>{"made", "on destroy", "destroyed"}));
}

TEST(QtWindowSystem, WithoutAFactoryABrowserControlHostsNoBrowserButKeepsItsPlace) {
    QtWindowSystem windows;
    ScriptedHandler h;
    h.on_init = [&](DialogHost& host) {
        EXPECT_EQ(host.GetBrowser(console_control::kBrowser), nullptr);
        const PixelRect rect = host.GetItemRect(console_control::kBrowser);
        EXPECT_EQ(rect, qt_dialog::MapDialogRect({0, 0, 541, 343}, BaseOf(host)));
        host.MoveItem(console_control::kBrowser, {0, 0, 800, 545});
        EXPECT_EQ(host.GetItemRect(console_control::kBrowser), (PixelRect{0, 0, 800, 545}));
        EndOnceShown(h, 1);
    };
    EXPECT_EQ(RunGuarded(windows, ConsoleTemplate(), h, kNoWindow), 1);
}

}  // namespace
}  // namespace kx::qt_test
