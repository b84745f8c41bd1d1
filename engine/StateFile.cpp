#include "engine/StateFile.h"

uint32_t parseStateNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return negative ? 0u - value : value;
}

void parseStateText(const std::string& text,
                    const std::function<void(const std::string&, uint32_t, uint32_t)>& onLine) {
    size_t start = 0;
    for (;;) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string::npos) return;
        size_t end = lf;
        if (end > start && text[end - 1] == '\r') --end;
        const size_t tab1 = text.find('\t', start);
        if (tab1 < end) {
            const size_t tab2 = text.find('\t', tab1 + 1);
            if (tab2 < end && tab2 + 1 < end) {
                onLine(text.substr(tab2 + 1, end - tab2 - 1),
                       parseStateNumber(text.substr(start, tab1 - start)),
                       parseStateNumber(text.substr(tab1 + 1, tab2 - tab1 - 1)));
            }
        }
        start = lf + 1;
    }
}

void appendStateLine(std::string& out, uint32_t handheldTime, uint32_t pcTime, const std::string& name) {
    out += std::to_string(handheldTime);
    out += '\t';
    out += std::to_string(pcTime);
    out += '\t';
    out += name;
    out += "\r\n";
}
