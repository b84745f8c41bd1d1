// The text of a location's state file: one line per entry present on both sides at the
// end of a synchronisation, "<handheld time>\t<PC time>\t<relative name>", CR LF ended.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Leading-digit conversion with an optional sign, kept modulo 2^32, so a time above
// 2147483647 reads back as the same 32-bit value; text without leading digits reads 0.
uint32_t parseStateNumber(const std::string& text);

// Calls back once per well-formed line. Only complete lines count: a last line without
// a line feed is ignored. One carriage return before the line feed is not part of the name.
void parseStateText(const std::string& text,
                    const std::function<void(const std::string& name, uint32_t handheldTime,
                                             uint32_t pcTime)>& onLine);

void appendStateLine(std::string& out, uint32_t handheldTime, uint32_t pcTime, const std::string& name);
