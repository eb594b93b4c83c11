// The live status page, one row (or JSON object) per instance.
#include "native/adapter/status_page.h"

#include <cstdio>

#include "native/adapter/instance_choice.h"
#include "native/common/basics/markup_text.h"

namespace brevant::adapter {

namespace {

using markup::htmlEscaped;
using markup::jsonString;

// One instance as the page shows it; the counters are read once, so that both forms agree.
struct InstanceRow {
    const AdapterInstance* instance;
    bool down;
    int64_t secondsLeft;  // until a request may try it again; 0 when that time has come
    uint64_t requestsSent;
    uint64_t connectFailures;
    uint64_t timeouts;
};

InstanceRow rowOf(const AdapterInstance& instance, int64_t now) {
    InstanceRow row{&instance,
                    instance.state.load() == kInstanceDown,
                    0,
                    instance.requestsSent.load(),
                    instance.connectFailures.load(),
                    instance.timeouts.load()};
    if (row.down) {
        int64_t left = instance.downUntil.load() - now;
        row.secondsLeft = left > 0 ? (left + 999) / 1000 : 0;
    }
    return row;
}

std::string number(uint64_t value) {
    return std::to_string(value);
}

void appendHtmlRow(std::string& page, const AdapterGroup& group, const InstanceRow& row) {
    std::string state = "up";
    if (row.down) {
        state = row.secondsLeft > 0
                    ? "down, " + number(static_cast<uint64_t>(row.secondsLeft)) + " s left"
                    : "down, to be tried again";
    }
    page += "<tr><td>" + htmlEscaped(group.name) + "</td><td>" + htmlEscaped(row.instance->entry) +
            "</td><td>" + policyName(group.balance) + "</td><td>" + state + "</td><td>" +
            number(row.requestsSent) + "</td><td>" + number(row.connectFailures) + "</td><td>" +
            number(row.timeouts) + "</td></tr>\n";
}

void appendJsonInstance(std::string& page, const InstanceRow& row) {
    page += "{\"entry\":" + jsonString(row.instance->entry) + ",\"state\":\"" +
            (row.down ? "down" : "up") +
            "\",\"secondsLeft\":" + number(static_cast<uint64_t>(row.secondsLeft)) +
            ",\"requestsSent\":" + number(row.requestsSent) +
            ",\"connectFailures\":" + number(row.connectFailures) +
            ",\"timeouts\":" + number(row.timeouts) + "}";
}

}  // namespace

std::string statusPage(const GroupTable& table, bool json, int64_t now) {
    std::string page =
        json ? "{\"groups\":["
             : "<html><head><title>Brevant instances</title></head><body>\n"
               "<h2>Brevant instances</h2>\n"
               "<table border=1 cellpadding=4>\n"
               "<tr><th>Group</th><th>Instance</th><th>Balance</th><th>State</th><th>Requests "
               "sent</th><th>Connection failures</th><th>Time-outs</th></tr>\n";
    for (int g = 0; g < table.groupCount; ++g) {
        const AdapterGroup& group = table.groups[g];
        if (json) {
            char retry[32];
            std::snprintf(retry, sizeof retry, "%.0f", group.retryTime);
            page += std::string(g == 0 ? "" : ",") + "{\"name\":" + jsonString(group.name) +
                    ",\"balance\":\"" + policyName(group.balance) + "\",\"retryTime\":" + retry +
                    ",\"instances\":[";
        }
        for (int i = 0; i <= group.lastInstance; ++i) {
            InstanceRow row = rowOf(instanceAt(group, i), now);
            if (json) {
                page += i == 0 ? "" : ",";
                appendJsonInstance(page, row);
            } else {
                appendHtmlRow(page, group, row);
            }
        }
        page += json ? "]}" : "";
    }
    page += json ? "]}\n" : "</table>\n</body></html>\n";
    return page;
}

void sendStatusPage(const GroupTable& table, HTTP_FILTER_CONTEXT* pfc, bool json) {
    // Live figures: a cache must not answer for the page.
    char htmlHeaders[] = "Content-Type: text/html\r\nCache-Control: no-store\r\n\r\n";
    char jsonHeaders[] = "Content-Type: application/json\r\nCache-Control: no-store\r\n\r\n";
    if (!pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, nullptr,
                                    reinterpret_cast<ULONG_PTR>(json ? jsonHeaders : htmlHeaders),
                                    0)) {
        return;
    }
    std::string page = statusPage(table, json, steadyMilliseconds());
    DWORD length = static_cast<DWORD>(page.size());
    pfc->WriteClient(pfc, page.data(), &length, 0);
}

}  // namespace brevant::adapter
