#pragma once

// Whether the tests run in the build with the address and undefined-behaviour sanitizers, which
// makes every step several times slower. Tests that go through whole tables (all 48 settings
// against all 48) or floods take a share of them there: the same code runs, on less data.
#ifdef LINNET_SANITIZED
inline constexpr bool SanitizedBuild = true;
#else
inline constexpr bool SanitizedBuild = false;
#endif

// `whole` in the plain build, `share` of it under the sanitizers.
template <typename T> constexpr T scaledForChecks(T whole, T share) {
    return SanitizedBuild ? share : whole;
}
