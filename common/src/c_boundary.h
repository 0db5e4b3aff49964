// The one barrier between a library's C++ internals and its C callers. Every exported
// function runs its body through guardedCall, so no exception ever reaches C code: an
// exception (std::bad_alloc included) becomes the function's failure result and one report,
// which each library turns into its own log line.
#pragma once

#include <exception>
#include <new>
#include <utility>

namespace zt {

namespace detail {

template <typename Report> void reportSafely(Report &report, const char *pstrFunction, const char *pstrWhat) noexcept {
  try {
    report(pstrFunction, pstrWhat);
  } catch (...) {
    // Nothing more can be done when even the report fails.
  }
}

template <typename Report, typename Body> bool runGuarded(const char *pstrFunction, Report &report, Body &body) noexcept {
  try {
    body();
    return true;
  } catch (const std::bad_alloc &) {
    reportSafely(report, pstrFunction, "out of memory");
  } catch (const std::exception &e) {
    reportSafely(report, pstrFunction, e.what());
  } catch (...) {
    reportSafely(report, pstrFunction, "unknown exception");
  }
  return false;
}

} // namespace detail

// Returns body(), or failure when body throws. report(const char *function, const char *what)
// is called once for the exception.
template <typename Result, typename Report, typename Body>
Result guardedCall(const char *pstrFunction, Result failure, Report &&report, Body &&body) noexcept {
  Result result = failure;
  auto assign = [&] { result = body(); };
  if (!detail::runGuarded(pstrFunction, report, assign)) {
    return failure;
  }
  return result;
}

// For functions without a result: an exception is reported and swallowed.
template <typename Report, typename Body>
void guardedCall(const char *pstrFunction, Report &&report, Body &&body) noexcept {
  detail::runGuarded(pstrFunction, report, body);
}

// A library's barrier bound to its report function, e.g.
//   inline constexpr zt::Boundary<&logException> guarded{};
//   return guarded("lib_call", -1, [&] { ... });
template <void (*Report)(const char *pstrFunction, const char *pstrWhat)> struct Boundary {
  template <typename Result, typename Body>
  Result operator()(const char *pstrFunction, Result failure, Body &&body) const noexcept {
    return guardedCall(pstrFunction, failure, Report, body);
  }
  template <typename Body> void operator()(const char *pstrFunction, Body &&body) const noexcept {
    guardedCall(pstrFunction, Report, body);
  }
};

} // namespace zt
