#pragma once
// Takes a response line apart token by token (used for AT response lines).

#include <cstdint>
#include <string>

class CGpBuffer {
public:
    CGpBuffer() = default;
    explicit CGpBuffer(std::string line) : text(std::move(line)) {}

    void SetText(std::string line)
    {
        text = std::move(line);
        position = 0;
    }
    const std::string& GetText() const { return text; }

    void SetSeparator(char sep) { separator = sep; }
    char GetSeparator() const { return separator; }

    // Skips a known prefix of the line (e.g. the header of an AT response).
    void SetPosition(int16_t pos) { position = pos; }
    int16_t GetPosition() const { return position; }

    // The text up to the next separator, or the rest of the line with its
    // trailing white space cut. Double quotes are removed from the token.
    // Past the end every call yields an empty token.
    std::string NextToken();

private:
    std::string text;
    char separator = ',';
    int16_t position = 0;
};
