#pragma once

// Limits the windows put on what they show or let the operator type. They
// live here because vantrelctl checks files against them and must agree with
// the windows.
namespace VantrelLimits {

// The panel has this many rows; outputs after the sixteenth are not shown.
inline constexpr int kPanelRows = 16;

// The editor's text boxes: typing stops at these lengths.
inline constexpr int kOutputNameLength = 16;
inline constexpr int kInputNameLength = 32;
inline constexpr int kIPAddressLength = 15;
inline constexpr int kPortLength = 5;

} // namespace VantrelLimits
