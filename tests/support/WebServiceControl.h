// The web-service stand-in's control calls (tests/standins/webservice), over
// plain synchronous WinINet to 127.0.0.1:80, not the client under test.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace testing_support {

// POSTs the body to the control path; true on HTTP 200. The answer's bytes
// go to *answer when given.
bool StandIn(const wchar_t* path, const std::string& body = std::string(), std::string* answer = NULL);

// A fixed answer for the next request(s) of a path (_control/reply).
bool StandInReply(const std::string& path, int status, const std::string& body, int times = 1);

// The stand-in sends the next request of the path on to the location (302).
bool StandInRedirect(const std::string& path, const std::string& location);

// Makes the stand-in offer a newer version whose installer is the file
// (_control/update); size overrides the announced length.
bool StandInOfferUpdate(const wchar_t* installer, int size = -1);

// One request the stand-in received (_control/requests).
struct StandInRequest
{
    std::string method, path, query, body;
};
std::vector<StandInRequest> StandInRequests();

} // namespace testing_support
