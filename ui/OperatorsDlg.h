#pragma once
// The operator list editor: the ten operator slots, one field each. Slots keep
// their positions; an empty field is an empty slot. Opened from the operator
// selection, which stores the names after OK.

#include "core/SettingsValues.h"

#include <QDialog>

#include <array>
#include <string>

class QLineEdit;

class COperatorsDlg : public QDialog {
public:
    // A name is at most 30 characters; the fields refuse more.
    static constexpr int kMaxNameLength = 30;

    explicit COperatorsDlg(const std::array<std::string, kOperatorCount>& names, QWidget* parent = nullptr);

    // The ten fields, slot 0 first, without leading or trailing blanks.
    std::array<std::string, kOperatorCount> GetNames() const;

    QLineEdit* Field(int slot) const { return fields.at(static_cast<size_t>(slot)); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::array<QLineEdit*, kOperatorCount> fields{};
};
