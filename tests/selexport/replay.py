"""replay.py EXPORT.jsonl EXPORT.csv SEL_OUTPUT: the JSON Lines and CSV exports agree with
each other and with the raw bytes, and rebuild what sel printed (its bytes read as the
export reads text: UTF-8 where valid, any other byte as Latin-1)."""
import codecs
import csv
import datetime
import json
import sys
import time

codecs.register_error("latin1", lambda e: ("".join(map(chr, e.object[e.start:e.end])), e.end))


def csv_cell(key, value):
    """A JSON field as CSV has it: a text that a spreadsheet takes for a formula with a '."""
    text = str(value)
    risky = key in ("type_label", "severity_label", "text") and text[:1] in tuple("=+-@\t\r")
    return "'" + text if risky else text


def main(jsonl, csv_path, sel_output):
    with open(jsonl, encoding="utf-8") as f:
        rows = [json.loads(line) for line in f]
    with open(csv_path, encoding="utf-8", newline="") as f:
        table = list(csv.DictReader(f))
    assert len(rows) == len(table), (len(rows), len(table))
    lines = []
    for row, cells in zip(rows, table):
        assert {k: csv_cell(k, v) for k, v in row.items()} == cells, (row, cells)
        raw = bytes.fromhex(row["raw"])
        assert len(raw) == 64
        assert row["id"] == int.from_bytes(raw[0:4], "big", signed=True)
        assert row["timestamp"] == int.from_bytes(raw[4:8], "big", signed=True)
        assert row["severity"] == int.from_bytes(raw[8:12], "big")
        assert row["type"] == int.from_bytes(raw[14:16], "big")
        utc = datetime.datetime.fromtimestamp(row["timestamp"], datetime.timezone.utc)
        assert row["time"] == utc.strftime("%Y-%m-%dT%H:%M:%SZ"), row
        lines.append(f"Record {row['id']}: {time.ctime(row['timestamp'])} "
                     f"[{row['type_label']}.{row['severity_label']}]: {row['text']}\n")
    with open(sel_output, "rb") as f:
        printed = f.read().decode("utf-8", "latin1")
    rebuilt = "".join(lines)
    if rebuilt != printed:
        at = next(i for i, (a, b) in enumerate(zip(rebuilt + "\0", printed + "\0")) if a != b)
        sys.exit(f"differs at {at}:\nexport: {rebuilt[at - 80:at + 80]!r}\n"
                 f"sel:    {printed[at - 80:at + 80]!r}")
    print(len(rows))


if __name__ == "__main__":
    main(*sys.argv[1:])
