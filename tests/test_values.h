#pragma once

// The correlogram value of 1200 agreeing samples, sum of (511/512)^n for
// n = 0..1199, as the rounded recurrence produces it, bit for bit.
inline constexpr double kAllAgree = 0x1.cefa325eb1b78p+8; // 462.97733108366765
