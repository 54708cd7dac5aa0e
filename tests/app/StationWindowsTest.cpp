// The start-up of a station with windows, as the executable runs it: the
// windows are built after the dictionary is loaded and the language chosen,
// so no text of any long-lived window (main window with its menus, toolbar
// and status bar, the P100 test window, the system information panel) shows
// the missing-text marker, in any of the four languages.

#include "app/OrvaApp.h"
#include "app/StationWindows.h"
#include "core/TextLookup.h"
#include "settings/RegistryValueStr.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "ui/MainFrame.h"
#include "ui/MessagePanel.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Every text a widget shows or offers on hover, with where it was found.
void CollectTexts(QWidget* root, std::vector<std::pair<QString, QString>>& texts)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        const QString where = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
        texts.emplace_back(where + QStringLiteral(" title"), w->windowTitle());
        texts.emplace_back(where + QStringLiteral(" tooltip"), w->toolTip());
        texts.emplace_back(where + QStringLiteral(" status tip"), w->statusTip());
        if (auto* label = qobject_cast<QLabel*>(w))
            texts.emplace_back(where + QStringLiteral(" text"), label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts.emplace_back(where + QStringLiteral(" text"), button->text());
        if (auto* group = qobject_cast<QGroupBox*>(w))
            texts.emplace_back(where + QStringLiteral(" title"), group->title());
        if (auto* menu = qobject_cast<QMenu*>(w))
            texts.emplace_back(where + QStringLiteral(" menu title"), menu->title());
        if (auto* panel = dynamic_cast<CMessagePanel*>(w))
            texts.emplace_back(where + QStringLiteral(" text"), panel->Text());
        if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            for (int column = 0; column < tree->columnCount(); ++column)
                texts.emplace_back(where + QStringLiteral(" column %1").arg(column), tree->headerItem()->text(column));
        }
        for (QAction* action : w->actions()) {
            const QString name = where + QStringLiteral(" action ") + action->text();
            texts.emplace_back(name, action->text());
            texts.emplace_back(name + QStringLiteral(" tooltip"), action->toolTip());
            texts.emplace_back(name + QStringLiteral(" status tip"), action->statusTip());
        }
    }
}

class StationWindowsTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        // Nothing that needs a device or a server, and a database made by an
        // earlier run, so that no question waits for an operator.
        CSettings settings;
        settings.Load();
        settings.Values().MailEnabled = 0;
        settings.Values().TelEnabled = 0;
        settings.Values().GsmEnabled = 0;
        ASSERT_TRUE(settings.Save());
        {
            COrvaApp earlier(Options(), out, err);
            ASSERT_EQ(earlier.Startup(), ORVA_EXIT_OK) << err.str();
            earlier.Shutdown();
        }
        RegistryValueStr(RegistryRoot::CurrentUser, kSettingsKey, "Language").SetString(GetParam());
        // A process that has just started: every key reads as the marker
        // until the start-up loads the dictionary.
        SetTextLookup(nullptr);
    }

    static CommandLine Options()
    {
        CommandLine options;
        options.operatorName = "Kim";
        return options;
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_P(StationWindowsTest, NoWindowShowsTheMissingTextMarkerAfterTheStart)
{
    CStationWindows windows;
    COrvaApp app(Options(), out, err);
    int closed = 0;
    windows.Install(app, false, [&closed] { ++closed; });
    EXPECT_EQ(windows.Screen(), nullptr);  // built by the start-up, not before

    ASSERT_EQ(app.Startup(), ORVA_EXIT_OK) << err.str();
    CWindowScreen* screen = windows.Screen();
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(screen->Frame(), nullptr);
    EXPECT_TRUE(screen->Frame()->isVisible());
    // The start-up's language, not English only.
    EXPECT_EQ(screen->Frame()->PaneText(CMainFrame::kPanePrompt),
              QString::fromStdString(LookupText("AFX_IDS_IDLEMESSAGE")));

    std::vector<std::pair<QString, QString>> texts;
    CollectTexts(screen->Frame(), texts);
    CollectTexts(&screen->SystemInformation(), texts);
    ASSERT_GT(texts.size(), 100u);
    int shown = 0;
    for (const auto& [where, text] : texts) {
        EXPECT_FALSE(text.contains(QString::fromLatin1(kMissingText)))
            << where.toStdString() << ": " << text.toStdString();
        shown += text.isEmpty() ? 0 : 1;
    }
    EXPECT_GT(shown, 50);
    // The panel's own texts, which are set when it is built.
    EXPECT_EQ(screen->SystemInformation().windowTitle(), QString::fromStdString(LookupText("IDC_SYSTEM_INFO_CAPTION")));

    // The station runs on until the main window closes.
    EXPECT_EQ(closed, 0);
    windows.Close(app);
    EXPECT_EQ(app.Shutdown(), ORVA_EXIT_OK);
}

INSTANTIATE_TEST_SUITE_P(Languages, StationWindowsTest, ::testing::Values("en", "de", "fr", "se"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
