#include "ui/OperatorsDlg.h"
#include "ui/SelectOperatorDlg.h"

#include "settings/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace {

// Every test has its own settings file and current folder.
class OperatorDlgTest : public ::testing::Test {
protected:
    OperatorDlgTest() : config(dir.Path().string() + "/config"), env("XDG_CONFIG_HOME", config)
    {
        dir.WorkIn();
        settings.Load();
    }

    void Store(std::vector<std::pair<int, std::string>> names, const std::string& last)
    {
        for (const auto& [slot, name] : names)
            settings.Values().Operator[static_cast<size_t>(slot)] = name;
        ASSERT_TRUE(settings.Save());
        ASSERT_TRUE(settings.SaveLastOperator(last));
    }

    // What the next start would read.
    SettingsValues Reloaded()
    {
        CSettings fresh;
        fresh.Load();
        return fresh.Values();
    }

    static std::vector<std::string> Entries(const QComboBox* list)
    {
        std::vector<std::string> entries;
        for (int i = 0; i < list->count(); ++i)
            entries.push_back(list->itemText(i).toStdString());
        return entries;
    }

    TempDir dir;
    std::string config;
    ScopedEnv env;
    CSettings settings;
};

// Runs `answer` on the first modal dialog that opens while `action` runs.
void WithModal(const std::function<void(QWidget*)>& answer, const std::function<void()>& action)
{
    bool answered = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && !answered) {
            answered = true;
            answer(modal);
        }
    });
    poll.start();
    action();
    EXPECT_TRUE(answered);
}

TEST_F(OperatorDlgTest, CountdownAtStartUpPutsTheLastOperatorOnDuty)
{
    Store({{0, "Anna"}, {1, "Olle"}}, "Olle");
    CSelectOperatorDlg dialog(settings, 1);

    EXPECT_EQ(dialog.NameList()->currentText(), "Olle");
    std::vector<std::string> shown;
    for (int tick = 0; tick < 10; ++tick) {
        shown.push_back(dialog.CountdownText().toStdString());
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << "closed early at tick " << tick;
        dialog.OnCountdownTick();
    }

    std::vector<std::string> expected;
    for (int seconds = 10; seconds >= 1; --seconds)
        expected.push_back("Starting in " + std::to_string(seconds) + " seconds");
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetChosenName(), "Olle");
    EXPECT_FALSE(dialog.CountdownRunning());
    EXPECT_EQ(Reloaded().LastOperator, "Olle");
}

struct NoCountdownCase {
    const char* name;
    int mode;
    const char* last;
};

class NoCountdownTest : public OperatorDlgTest, public ::testing::WithParamInterface<NoCountdownCase> {};

TEST_P(NoCountdownTest, NoCountdownRuns)
{
    Store({{0, "Anna"}}, GetParam().last);
    CSelectOperatorDlg dialog(settings, GetParam().mode);

    EXPECT_FALSE(dialog.CountdownRunning());
    EXPECT_TRUE(dialog.CountdownText().isEmpty());
    for (int tick = 0; tick < 12; ++tick)
        dialog.OnCountdownTick();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.GetChosenName().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, NoCountdownTest,
                         ::testing::Values(NoCountdownCase{"ChangeOfOperator", 0, "Anna"},
                                           NoCountdownCase{"StartUpWithoutLastOperator", 1, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OperatorDlgTest, OpeningTheDropDownStopsTheCountdownForGood)
{
    Store({{0, "Anna"}, {1, "Olle"}}, "Olle");
    CSelectOperatorDlg dialog(settings, 1);
    dialog.show();
    dialog.OnCountdownTick();
    EXPECT_EQ(dialog.CountdownText(), "Starting in 9 seconds");

    dialog.NameList()->showPopup();  // as a click on the arrow does
    QApplication::processEvents();
    dialog.NameList()->hidePopup();
    EXPECT_FALSE(dialog.CountdownRunning());
    EXPECT_TRUE(dialog.CountdownText().isEmpty());

    for (int tick = 0; tick < 12; ++tick)
        dialog.OnCountdownTick();
    EXPECT_TRUE(dialog.isVisible());

    // another name chosen by hand becomes the operator and the new last one
    dialog.NameList()->setCurrentIndex(0);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetChosenName(), "Anna");
    EXPECT_EQ(Reloaded().LastOperator, "Anna");
}

TEST_F(OperatorDlgTest, FreshInstallationOffersNothingAndOkOnlyBeeps)
{
    CSelectOperatorDlg dialog(settings, 1);
    EXPECT_EQ(dialog.NameList()->count(), 0);
    EXPECT_FALSE(dialog.CountdownRunning());

    dialog.OnOk();
    EXPECT_EQ(dialog.BeepCount(), 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.GetChosenName().empty());
}

TEST_F(OperatorDlgTest, CountdownWithTheLastOperatorGoneWaitsForTheOperator)
{
    // "Ann" has been removed; "Anna" must not be put on duty in her place.
    Store({{0, "Anna"}, {1, "Olle"}}, "Ann");
    CSelectOperatorDlg dialog(settings, 1);
    EXPECT_EQ(dialog.NameList()->currentIndex(), -1);

    for (int tick = 0; tick < 10; ++tick)
        dialog.OnCountdownTick();
    EXPECT_EQ(dialog.BeepCount(), 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Reloaded().LastOperator, "Ann");
}

TEST_F(OperatorDlgTest, LastOperatorIsFoundWhateverItsLetterCase)
{
    Store({{0, "Anna"}, {3, "olle"}}, "OLLE");
    CSelectOperatorDlg dialog(settings, 0);
    EXPECT_EQ(dialog.NameList()->currentText(), "olle");
}

TEST_F(OperatorDlgTest, SlotsWithAGapKeepTheirPositionsThroughTheEditor)
{
    Store({{0, "Anna"}, {2, "Olle"}}, "Olle");
    CSelectOperatorDlg dialog(settings, 1);
    EXPECT_EQ(Entries(dialog.NameList()), (std::vector<std::string>{"Anna", "Olle"}));

    WithModal(
        [](QWidget* modal) {
            auto* editor = dynamic_cast<COperatorsDlg*>(modal);
            ASSERT_NE(editor, nullptr);
            EXPECT_EQ(editor->Field(0)->text(), "Anna");
            EXPECT_TRUE(editor->Field(1)->text().isEmpty());
            EXPECT_EQ(editor->Field(2)->text(), "Olle");
            editor->Field(0)->setText("Anna B");
            editor->Field(9)->setText("  Kim  ");
            editor->accept();
        },
        [&] { dialog.OnAddEdit(); });

    EXPECT_FALSE(dialog.CountdownRunning());
    EXPECT_TRUE(dialog.CountdownText().isEmpty());
    EXPECT_EQ(Entries(dialog.NameList()), (std::vector<std::string>{"Anna B", "Olle", "Kim"}));
    EXPECT_EQ(dialog.NameList()->currentText(), "Olle");

    const SettingsValues stored = Reloaded();
    EXPECT_EQ(stored.Operator[0], "Anna B");
    EXPECT_EQ(stored.Operator[1], "");
    EXPECT_EQ(stored.Operator[2], "Olle");
    EXPECT_EQ(stored.Operator[9], "Kim");
}

TEST_F(OperatorDlgTest, CancelledEditorChangesNothing)
{
    Store({{0, "Anna"}}, "");
    CSelectOperatorDlg dialog(settings, 0);
    WithModal(
        [](QWidget* modal) {
            auto* editor = dynamic_cast<COperatorsDlg*>(modal);
            ASSERT_NE(editor, nullptr);
            editor->Field(0)->setText("Someone");
            editor->reject();
        },
        [&] { dialog.OnAddEdit(); });
    EXPECT_EQ(Entries(dialog.NameList()), std::vector<std::string>{"Anna"});
    EXPECT_EQ(Reloaded().Operator[0], "Anna");
}

TEST(OperatorsDlgTest, ANameOf31CharactersCannotBeEntered)
{
    std::array<std::string, kOperatorCount> names{};
    COperatorsDlg editor(names);
    editor.show();
    QLineEdit* field = editor.Field(4);
    field->setFocus();
    QTest::keyClicks(field, QString(31, QLatin1Char('x')));
    EXPECT_EQ(field->text().size(), 30);

    // characters, not bytes: thirty letters of two UTF-8 bytes each fit
    // (typed as input would insert them; the test keyboard knows ASCII only)
    field->clear();
    field->insert(QString(31, QChar(0x00E4)));
    EXPECT_EQ(field->text(), QString(30, QChar(0x00E4)));
    EXPECT_EQ(editor.GetNames()[4], QString(30, QChar(0x00E4)).toStdString());
}

}  // namespace
