// The public part of a DEVMODEW taken from untrusted bytes (a spool file's DEVMODE record,
// a shadow file's DEVMODE): the members that another printer's driver can be asked to honour.
// The driver's private part after dmSize is never interpreted. Platform-neutral.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct PublicDevMode {
    std::u16string DeviceName;  // up to 32 units, cut at the first NUL
    std::uint16_t SpecVersion = 0;
    std::uint16_t DriverVersion = 0;
    std::uint16_t Size = 0;         // dmSize: the public part
    std::uint16_t DriverExtra = 0;  // dmDriverExtra: the private bytes after it
    std::uint32_t Fields = 0;       // dmFields as recorded
    // Members whose dmFields bit is set and which lie inside dmSize; empty otherwise.
    std::optional<std::int16_t> Orientation;  // 1 portrait, 2 landscape
    std::optional<std::int16_t> PaperSize;    // DMPAPER_*
    std::optional<std::int16_t> PaperLength;  // 0.1 mm
    std::optional<std::int16_t> PaperWidth;   // 0.1 mm
    std::optional<std::int16_t> Copies;
    std::optional<std::int16_t> Color;    // 1 monochrome, 2 colour
    std::optional<std::int16_t> Duplex;   // 1 simplex, 2 vertical, 3 horizontal
    std::optional<std::int16_t> Collate;  // 0 off, 1 on
    std::optional<std::u16string> FormName;
};

// Nothing when the bytes cannot be a DEVMODE: dmSize below the members up to dmFields, or
// dmSize + dmDriverExtra more than the bytes given.
std::optional<PublicDevMode> ParsePublicDevMode(std::span<const std::uint8_t> bytes);

// DEVMODE values by their DMORIENT_, DMCOLOR_ and DMDUP_ numbers.
enum class PaperOrientation : std::uint16_t { Portrait = 1, Landscape = 2 };
enum class ColourMode : std::uint16_t { Monochrome = 1, Colour = 2 };
enum class DuplexMode : std::uint16_t { Simplex = 1, LongEdge = 2, ShortEdge = 3 };

// The public fields that dmFields marks as set and whose values are valid: what a job asks of
// a printer.
struct DevModeDetails {
    std::optional<PaperOrientation> Orientation;
    std::optional<std::uint16_t> PaperSize;  // DMPAPER_ code, nonzero
    std::optional<std::u16string> FormName;
    std::optional<std::uint16_t> Copies;     // at least 1
    std::optional<ColourMode> Colour;
    std::optional<DuplexMode> Duplex;
    std::optional<bool> Collate;
};

DevModeDetails ValidFields(const PublicDevMode& mode);
