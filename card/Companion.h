// What the conduit and its companion application on the handheld agree on: the
// application the remote call goes to, and the database it leaves its card listing in.
#pragma once
#include <cstdint>

constexpr uint32_t kCompanionCreator = 0x546E776B;  // 'Tnwk'
constexpr uint32_t kCompanionType = 0x6170706C;     // 'appl'
constexpr char kCompanionTransferDatabase[] = "TarnwickData";
