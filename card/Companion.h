// What the conduit and its companion application on the handheld agree on: the
// application the remote call goes to, and the database that carries the card listing,
// the replies and the file slices between them.
#pragma once
#include <cstdint>

constexpr uint32_t kCompanionCreator = 0x546E776B;  // 'Tnwk'
constexpr uint32_t kCompanionType = 0x6170706C;     // 'appl'
constexpr char kCompanionTransferDatabase[] = "TarnwickData";
constexpr uint32_t kCompanionTransferType = 0x64617461;  // 'data', of the transfer database
