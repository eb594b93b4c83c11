#include "typical_request.h"

namespace bench {

std::vector<std::pair<std::string, std::string>> browserHeaders() {
    return {
        {"Host", "www.example.com"},
        {"User-Agent",
         "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:120.0) Gecko/20100101 Firefox/120.0"},
        {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"},
        {"Accept-Language", "en-US,en;q=0.5"},
        {"Accept-Encoding", "gzip, deflate, br"},
        {"Connection", "keep-alive"},
        {"Cookie", "JSESSIONID=4F2A9C1B7D3E5F60A1B2; theme=light"},
        {"Upgrade-Insecure-Requests", "1"},
    };
}

std::string browserAllHttp() {
    std::string text;
    for (const auto& [name, value] : browserHeaders()) {
        text += "HTTP_";
        for (char c : name) {
            text += c == '-' ? '_' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        text += ':';
        text += value;
        text += '\n';
    }
    return text;
}

BrowserFilterContext::BrowserFilterContext() {
    fake_.headers = browserHeaders();
    headerCount_ = fake_.headers.size();
}

testsupport::FakeFilterContext& BrowserFilterContext::forRequest(const char* url) {
    fake_.url = url;
    fake_.headers.resize(headerCount_);  // what the filter added went behind them
    fake_.calls.clear();
    return fake_;
}

bool BrowserFilterContext::untouched(const char* url) const {
    return fake_.url == url && fake_.headers.size() == headerCount_;
}

}  // namespace bench
