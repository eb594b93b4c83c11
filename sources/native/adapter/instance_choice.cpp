// The balance policies and the up and down marks of instances.
#include "native/adapter/instance_choice.h"

#include <chrono>

#include "native/adapter/debug_output.h"

namespace brevant::adapter {

namespace {

constexpr double kMaxRetrySeconds = 1e9;  // about 31 years: no overflow in milliseconds

int64_t retryMilliseconds(const AdapterGroup& group) {
    double seconds = group.retryTime;
    if (!(seconds > 0)) {
        return 0;  // a negative retry time keeps no instance away
    }
    return static_cast<int64_t>((seconds < kMaxRetrySeconds ? seconds : kMaxRetrySeconds) * 1000);
}

// May this request try the instance? One that is down, whose retry time has passed, goes to
// the one request that moves its retry time on; the others keep away while it finds out.
bool mayTry(const AdapterGroup& group, const AdapterInstance& instance, int64_t now) {
    if (instance.state.load() == kInstanceUp) {
        return true;
    }
    int64_t until = instance.downUntil.load();
    return until <= now &&
           instance.downUntil.compare_exchange_strong(until, now + retryMilliseconds(group));
}

void markDown(const AdapterGroup& group, const AdapterInstance& instance, int64_t now,
              bool triedWhileDown) {
    instance.downUntil.store(now + retryMilliseconds(group));
    // Said once when it goes down, and again each time a retry finds it still down.
    if (instance.state.exchange(kInstanceDown) == kInstanceUp || triedWhileDown) {
        debugOutf("Group %s: instance %s down for %.0f seconds\n", group.name,
                  instance.entry.c_str(), group.retryTime);
    }
}

void markUp(const AdapterGroup& group, const AdapterInstance& instance) {
    if (instance.state.load() == kInstanceDown &&
        instance.state.exchange(kInstanceUp) == kInstanceDown) {
        debugOutf("Group %s: instance %s up again\n", group.name, instance.entry.c_str());
    }
}

// One attempt, recorded in `choice`; true when it connected.
bool tryInstance(const AdapterGroup& group, const AdapterInstance& instance, bool marking,
                 const Clock& now, const Connector& connect, InstanceChoice& choice) {
    bool wasDown = instance.state.load() == kInstanceDown;
    ConnectAttempt attempt = connect(instance);
    choice.instance = &instance;
    choice.socket = attempt.socket;
    choice.error = attempt.error;
    choice.noSocket = attempt.noSocket;
    choice.reused = attempt.reused;
    if (attempt.noSocket) {
        return false;
    }
    if (attempt.socket != INVALID_SOCKET) {
        if (marking) {
            markUp(group, instance);
        }
        return true;
    }
    instance.connectFailures.fetch_add(1);
    if (marking) {
        markDown(group, instance, now(), wasDown);
    }
    return false;
}

}  // namespace

InstanceChoice connectByPolicy(const AdapterGroup& group, const Clock& now,
                               const Connector& connect) {
    InstanceChoice choice;
    int count = group.lastInstance + 1;
    if (group.balance == BalancePolicy::first || count <= 1) {
        // A group number beyond the configured groups names an empty record: it is tried
        // all the same, and the page tells what it holds.
        tryInstance(group, group.instance, group.balance != BalancePolicy::first, now, connect,
                    choice);
        return choice;
    }
    unsigned start = group.balance == BalancePolicy::roundrobin
                         ? group.nextInstance.fetch_add(1) % static_cast<unsigned>(count)
                         : 0;
    const AdapterInstance* earliest = nullptr;  // of those kept away, back first
    for (int step = 0; step < count; ++step) {
        const AdapterInstance& instance = instanceAt(
            group,
            static_cast<int>((start + static_cast<unsigned>(step)) % static_cast<unsigned>(count)));
        if (!mayTry(group, instance, now())) {
            if (earliest == nullptr || instance.downUntil.load() < earliest->downUntil.load()) {
                earliest = &instance;
            }
            continue;
        }
        if (tryInstance(group, instance, true, now, connect, choice) || choice.noSocket) {
            return choice;
        }
    }
    if (earliest != nullptr) {
        tryInstance(group, *earliest, true, now, connect, choice);
    }
    return choice;
}

int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace brevant::adapter
