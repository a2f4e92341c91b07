#pragma once

#include <QLatin1StringView>

#include <array>

// Every key Ostrel keeps in its settings, defined once.
namespace OLKey {
// The preferred interpreter command line: "file://localhost", the executable, arguments.
inline constexpr QLatin1StringView preferredInterpreter{"preferredInterpreter"};

// Standard-path settings, written by interpreter discovery.
inline constexpr QLatin1StringView alicePath{"alicePath"};
inline constexpr QLatin1StringView mosmlPath{"mosmlPath"};
inline constexpr QLatin1StringView polyPath{"polyPath"};
inline constexpr QLatin1StringView smlnjPath{"smlnjPath"};

// Per-mode paths: the key of each interpreter mode, indexed by the mode's value.
inline constexpr std::array<QLatin1StringView, 5> modeKeys{
    QLatin1StringView("MOSML"), QLatin1StringView("SMLNJ"), QLatin1StringView("ALICEML"),
    QLatin1StringView("POLYML"), QLatin1StringView("UNKNOWN")};

inline constexpr QLatin1StringView verticalOrientation{"verticalOrientation"};
// The size and place of the document window that closed last.
inline constexpr QLatin1StringView windowGeometry{"windowGeometry"};
inline constexpr QLatin1StringView shouldHighlightSyntax{"shouldHighlightSyntax"};
inline constexpr QLatin1StringView showLineNumbers{"showLineNumbers"};
inline constexpr QLatin1StringView shouldReopenFiles{"shouldReopenFiles"};
inline constexpr QLatin1StringView openedFiles{"openedFiles"};
inline constexpr QLatin1StringView shouldRestoreCommitHistory{"shouldRestoreCommitHistory"};
inline constexpr QLatin1StringView commitHistory{"commitHistory"};
inline constexpr QLatin1StringView maximumCommitHistoryLength{"maximumCommitHistoryLength"};
// How many UTF-16 units of text a console keeps before it trims its oldest output.
inline constexpr QLatin1StringView maximumConsoleLength{"maximumConsoleLength"};

// The style set as stored; the colours keep the style set's own keys.
inline constexpr QLatin1StringView fontName{"fontName"};
inline constexpr QLatin1StringView fontSize{"fontSize"};
// The face of the family ("Bold Oblique"); absent: its regular face, as
// stored before faces were.
inline constexpr QLatin1StringView fontStyle{"fontStyle"};
inline constexpr QLatin1StringView regColor{"regColor"};
inline constexpr QLatin1StringView errColor{"errColor"};
inline constexpr QLatin1StringView keyColor{"keyColor"};
inline constexpr QLatin1StringView strColor{"strColor"};
inline constexpr QLatin1StringView comColor{"comColor"};
inline constexpr QLatin1StringView outAlpha{"outAlpha"};
inline constexpr QLatin1StringView ansFontTraits{"ansFontTraits"};
inline constexpr QLatin1StringView errFontTraits{"errFontTraits"};

// What restoring the defaults of the Fonts and Colours tab removes, in order.
inline constexpr std::array<QLatin1StringView, 11> fontsAndColoursKeys{
    outAlpha, ansFontTraits, errFontTraits, regColor, errColor,
    keyColor, strColor, comColor, fontName, fontSize, fontStyle};

// Entries of the "StdInterpreterLocations" resource that discovery probes.
inline constexpr QLatin1StringView aliceStdLocation{"aliceml-std"};
inline constexpr QLatin1StringView polyStdLocation{"polyml-std"};
inline constexpr QLatin1StringView mosmlStdLocation{"mosml-std"};
inline constexpr QLatin1StringView smlnjStdLocation{"smlnj-std"};
} // namespace OLKey

// Property lists compiled into the program (src/resources).
namespace OLResource {
inline constexpr QLatin1StringView defaultPreferences{"DefaultPreferences"};
inline constexpr QLatin1StringView stdInterpreterLocations{"StdInterpreterLocations"};
} // namespace OLResource
