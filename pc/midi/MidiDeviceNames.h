// Device names as the port stores them: without the numbers that the system hands
// out afresh at every start, without our own ports, and unique in their list.
#pragma once
#include <string>
#include <vector>

// The client name under which this program's own ports appear.
extern const char* const ownClientName;

// "Client:Port 20:0" -> "Client:Port".
std::string WithoutClientAndPortNumbers(const std::string& name);
// Whether the port belongs to a client of this program ("Thudra", "Thudra-01", ...).
bool IsOwnPort(const std::string& name);
// Repeated names get " 2", " 3" ... in list order.
std::vector<std::string> MakeUnique(const std::vector<std::string>& names);
