// The drivers the library lists, in order. Without THUDRA_SIMULATED_ASIO it is
// "JACK" alone. With it, the variable's comma-separated items name the list instead:
// "JACK", "all" (every simulated driver except the three left-out names), "dropped"
// (those three names: "ASIO Multimedia Driver", "ASIO DirectX Driver", "ASIO DirectX
// Full Duplex Driver"), or one simulated driver's name ("Simulated Float32", ...).
// Unknown items and repeated names are skipped; the list ends at Asio::maxDrivers.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "TAsioDriverBase.h"

namespace AsioDriverList {
constexpr const char* variable = "THUDRA_SIMULATED_ASIO";

std::vector<std::string> Names();
// A new driver object of a listed name; null for a name not listed.
std::unique_ptr<TAsioDriverBase> Make(const std::string& name);
}  // namespace AsioDriverList
