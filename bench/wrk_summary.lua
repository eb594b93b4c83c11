-- wrk script of ./dev bench: an optional request body of BENCH_BODY_BYTES bytes (sent with
-- POST), and at the end one line of JSON with what the report needs, so that nothing has to
-- be read back from wrk's human-readable text.
local body_bytes = tonumber(os.getenv("BENCH_BODY_BYTES") or "0")

if body_bytes > 0 then
    wrk.method = "POST"
    wrk.body = string.rep("b", body_bytes)
    wrk.headers["Content-Type"] = "application/octet-stream"
end

function done(summary, latency, requests)
    local errors = summary.errors
    io.write(string.format(
        'BENCH_JSON {"requests": %d, "duration_us": %d, "bytes": %d, "body_bytes": %d, ' ..
        '"p50_us": %d, "p99_us": %d, "connect_errors": %d, "read_errors": %d, ' ..
        '"write_errors": %d, "status_errors": %d, "timeouts": %d}\n',
        summary.requests, summary.duration, summary.bytes, body_bytes,
        latency:percentile(50), latency:percentile(99), errors.connect, errors.read,
        errors.write, errors.status, errors.timeout))
end
