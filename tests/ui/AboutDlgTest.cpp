// The about box: product, version and copyright from the dictionary, in the
// operator's language, and OK closes it.

#include "ui/AboutDlg.h"

#include "core/TextLookup.h"
#include "core/Version.h"
#include "dictionary/Dictionary.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <string>

namespace {

class AboutDlgTest : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { CDictionary::Instance().SetLanguage("en"); }
};

TEST_P(AboutDlgTest, ShowsProductVersionAndCopyright)
{
    ASSERT_TRUE(CDictionary::Instance().SetLanguage(GetParam()));
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle().toStdString(), LookupText("IDC_ABOUTBOX_CAPTION"));
    EXPECT_EQ(about.ProductLabel()->text().toStdString(), LookupText("IDC_ABOUTBOX_PRODUCT"));
    EXPECT_EQ(about.CopyrightLabel()->text().toStdString(), LookupText("IDC_ABOUTBOX_COPYRIGHT"));
    EXPECT_EQ(about.OkButton()->text().toStdString(), LookupText("IDS_IDOK"));
    // The version the box shows is the program's.
    EXPECT_NE(about.VersionLabel()->text().toStdString().find(kProductVersion), std::string::npos);
    EXPECT_NE(about.ProductLabel()->text().toStdString().find(kProductName), std::string::npos);
    for (const QLabel* label : {about.ProductLabel(), about.VersionLabel(), about.CopyrightLabel()})
        EXPECT_NE(label->text(), QStringLiteral("*NA*")) << label->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, AboutDlgTest, ::testing::Values("en", "de", "fr", "se"));

TEST(AboutDlgKeysTest, ReturnClosesTheBoxWithOk)
{
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
