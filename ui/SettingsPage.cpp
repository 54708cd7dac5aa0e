#include "ui/SettingsPage.h"

#include "core/TextFormat.h"
#include "ui/CharLimit.h"
#include "ui/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace {

// Refuses an edit that would make the field longer than its limit in
// characters (and, for a number field, anything but digits). A paste that is
// too long is cut to what fits at the cursor, as a length limit does.
class LimitValidator : public QValidator {
public:
    LimitValidator(QLineEdit* field, int maxLength, bool onlyDigits)
        : QValidator(field), limit(maxLength), digitsOnly(onlyDigits)
    {
        QObject::connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { last = text; });
    }

    State validate(QString& input, int& pos) const override
    {
        if (digitsOnly) {
            for (const QChar c : input) {
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    return Invalid;
            }
        }
        if (charlimit::Count(input) <= limit)
            return Acceptable;
        // Keep what was there and as much of the inserted piece as fits.
        int cursor = 0;
        const QString result = charlimit::KeepWithin(last, input, limit, &cursor);
        if (charlimit::Count(result) > limit)
            return Invalid;
        input = result;
        pos = std::min(cursor, static_cast<int>(input.size()));
        return Acceptable;
    }

private:
    int limit;
    bool digitsOnly;
    QString last;
};

}  // namespace

CSettingsPage::CSettingsPage(const char* key, QWidget* parent) : QWidget(parent), captionKey(key)
{
    setObjectName(QLatin1String(key));
}

void CSettingsPage::Activate()
{
    if (!translated) {
        Translate();
        translated = true;
    }
    OnSetActive();
}

void CSettingsPage::Translate()
{
    for (const auto& [label, key] : labels)
        label->setText(orvabox::Text(key));
}

QLabel* CSettingsPage::Label(const char* key)
{
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(key));
    labels[label] = key;
    return label;
}

QLineEdit* CSettingsPage::TextField(const char* settingName, int chars)
{
    auto* field = new QLineEdit(this);
    field->setObjectName(QLatin1String(settingName));
    field->setValidator(new LimitValidator(field, chars, false));
    return field;
}

QLineEdit* CSettingsPage::NumberField(const char* settingName, int digits)
{
    auto* field = new QLineEdit(this);
    field->setObjectName(QLatin1String(settingName));
    field->setValidator(new LimitValidator(field, digits, true));
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (digits + 2) + 16);
    return field;
}

void CSettingsPage::SetNumber(QLineEdit* field, long long value)
{
    field->setText(QString::number(value));
}

long long CSettingsPage::Number(const QLineEdit* field)
{
    bool ok = false;
    const long long value = field->text().toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

bool CSettingsPage::CheckRange(QLineEdit* field, long long min, long long max)
{
    const long long value = Number(field);
    if (value >= min && value <= max)
        return true;
    WarnAt(Q(FormatKey("IDS_UTIL_MSG_1", {min, max})), field);
    return false;
}

void CSettingsPage::WarnAt(const QString& text, QLineEdit* field)
{
    Tell(text, QMessageBox::Warning);
    field->setFocus();
    field->selectAll();
}

bool CSettingsPage::Confirm(const QString& text)
{
    return orvabox::Ask(this, S(text), QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
           QMessageBox::Ok;
}

void CSettingsPage::Tell(const QString& text, QMessageBox::Icon icon)
{
    orvabox::Ask(this, S(text), icon, QMessageBox::Ok, QMessageBox::Ok);
}
