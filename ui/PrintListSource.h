#pragma once
// What the print window needs to know of the alarm list: how many rows it
// shows and the alarms of the selected rows. The main view implements it.

#include <cstdint>
#include <vector>

class CPrintListSource {
public:
    virtual ~CPrintListSource() = default;
    // The number of rows the list shows now.
    virtual int GetPrintRowCount() const = 0;
    // The primary keys of the selected rows, from top to bottom.
    virtual std::vector<uint32_t> GetPrintSelection() const = 0;
};
