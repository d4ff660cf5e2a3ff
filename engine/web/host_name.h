#pragma once
// Host names: an address's host, and a host written in other characters than
// ASCII as the name system knows it. Used on any thread.

#include <string>

namespace qf::engine {

// The address with its host name in ASCII: a name written in other characters
// ("bücher.example") in its IDNA form ("xn--bcher-kva.example"). An address
// whose host is ASCII already, or whose name has no IDNA form, is returned as
// it is, for the fetch to say what is wrong with it. Where the system has no
// IDNA library (the Windows build), every address is returned as it is.
std::string asciiHostAddress(const std::string& address);

// The host of an address in lower case, as the network library reads it;
// empty when it has none.
std::string hostOf(const std::string& address);

}  // namespace qf::engine
