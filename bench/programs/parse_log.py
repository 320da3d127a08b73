import re

def main():
    lines = [
        "2026-12-11 09:15:55 INFO [worker-12] GET /api/items/4821 status=200 time=12ms\n",
        "2026-12-11 09:15:56 WARN [worker-3] POST /api/orders status=429 time=230ms\n",
        "2026-12-11 09:15:57 ERROR [db-pool] GET /api/users/77 status=500 time=1503ms\n",
        "2026-12-11 09:15:58 INFO [worker-7] DELETE /api/items/12 status=204 time=8ms\n",
    ]
    parts, size = [], 0
    while size < 1000000:
        parts.extend(lines)
        size += sum(map(len, lines))
    text = "".join(parts)
    line = re.compile(
        r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (INFO|WARN|ERROR) \[[a-z0-9-]+\] "
        r"(GET|POST|PUT|DELETE) ([^ \n]+) status=(\d{3}) time=\d+ms\n")
    tokens, pos, end = [], 0, len(text)
    while pos < end:
        m = line.match(text, pos)
        if not m:
            raise SystemExit("invalid line at %d" % pos)
        tokens.extend(m.groups())
        pos = m.end()
    print(len(tokens))

main()
