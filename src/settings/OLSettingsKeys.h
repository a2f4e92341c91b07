#pragma once

#include <QLatin1StringView>

// Every key Ostrel keeps in its settings, defined once.
namespace OLKey {
inline constexpr QLatin1StringView preferredInterpreter{"preferredInterpreter"};
} // namespace OLKey
