// The user name and password of the built-in sessions.
#pragma once

namespace zt::bus {

constexpr const char *kFixedUserName = "root";
constexpr const char *kFixedPassword = "rbqe705316!$&^";

} // namespace zt::bus
