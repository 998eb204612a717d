#include "support/WebServiceControl.h"
#include <wininet.h>
#include <sstream>

namespace testing_support {

bool StandIn(const wchar_t* path, const std::string& body, std::string* answer)
{
    bool ok = false;
    HINTERNET hNet = InternetOpenW(L"Folionex test", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    HINTERNET hConnect =
        hNet ? InternetConnectW(hNet, L"127.0.0.1", 80, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0) : NULL;
    HINTERNET hRequest = hConnect ? HttpOpenRequestW(hConnect, L"POST", path, NULL, NULL, NULL,
                                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                  : NULL;
    if (hRequest && HttpSendRequestW(hRequest, NULL, 0, (LPVOID)body.data(), (DWORD)body.size())) {
        DWORD status = 0, size = sizeof(status);
        ok = HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL) &&
             status == 200;
        if (answer) {
            answer->clear();
            char buf[4096];
            DWORD read = 0;
            while (InternetReadFile(hRequest, buf, sizeof(buf), &read) && read > 0)
                answer->append(buf, read);
        }
    }
    if (hRequest)
        InternetCloseHandle(hRequest);
    if (hConnect)
        InternetCloseHandle(hConnect);
    if (hNet)
        InternetCloseHandle(hNet);
    return ok;
}

bool StandInReply(const std::string& path, int status, const std::string& body, int times)
{
    std::ostringstream control;
    control << "path=" << path << "\nstatus=" << status << "\ntimes=" << times << "\n\n" << body;
    return StandIn(L"/_control/reply", control.str());
}

namespace {

// The file's path as the stand-in (a program of the host) sees it.
std::string HostPath(const wchar_t* path)
{
    typedef char*(CDECL * UnixName)(LPCWSTR);
    UnixName toUnix = (UnixName)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!toUnix)
        return std::string();
    char* name = toUnix(path);
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back((char)std::stoi(hex.substr(i, 2), NULL, 16));
    return out;
}

} // namespace

bool StandInRedirect(const std::string& path, const std::string& location)
{
    return StandIn(L"/_control/reply", "path=" + path + "\nstatus=302\nlocation=" + location + "\n\nMoved\n");
}

bool StandInOfferUpdate(const wchar_t* installer, int size)
{
    std::string body = "version=9.9\nfile=" + HostPath(installer) + "\n";
    if (size >= 0)
        body += "size=" + std::to_string(size) + "\n";
    return StandIn(L"/_control/update", body);
}

std::vector<StandInRequest> StandInRequests()
{
    std::vector<StandInRequest> out;
    std::string answer;
    if (!StandIn(L"/_control/requests", std::string(), &answer))
        return out;
    std::istringstream lines(answer);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        size_t start = 0, tab;
        while ((tab = line.find('\t', start)) != std::string::npos) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        if (fields.size() == 4)
            out.push_back({fields[0], fields[1], fields[2], FromHex(fields[3])});
    }
    return out;
}

} // namespace testing_support
