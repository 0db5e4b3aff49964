// The user name and password of the built-in sessions.
#pragma once

namespace busline {

constexpr const char *kFixedUserName = "root";
constexpr const char *kFixedPassword = "rbqe705316!$&^";

} // namespace busline
