#include "ui/AboutDlg.h"

#include "ui/MessageBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IDC_ABOUTBOX_CAPTION"));
    icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("AboutIcon"));
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);

    product = new QLabel(this);
    product->setObjectName(QStringLiteral("IDC_ABOUTBOX_PRODUCT"));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    version = new QLabel(this);
    version->setObjectName(QStringLiteral("IDC_ABOUTBOX_VERSION"));
    copyright = new QLabel(this);
    copyright->setObjectName(QStringLiteral("IDC_ABOUTBOX_COPYRIGHT"));
    // The texts can be copied into a fault report.
    for (QLabel* label : {product, version, copyright})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("IDS_IDOK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addWidget(copyright);
    texts->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Translate();
    ok->setFocus();
}

void CAboutDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_ABOUTBOX_CAPTION"));
    product->setText(orvabox::Text("IDC_ABOUTBOX_PRODUCT"));
    version->setText(orvabox::Text("IDC_ABOUTBOX_VERSION"));
    copyright->setText(orvabox::Text("IDC_ABOUTBOX_COPYRIGHT"));
    ok->setText(orvabox::Text("IDS_IDOK"));
}
