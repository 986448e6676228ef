"""The rows of the table `make bench` ends with: each benchmark appends its results to one
tab-separated file (name, measured, target, PASS or MISS) that bench/run.sh prints at the end."""


def add(path, name, measured, target="", met=None):
    if not path:
        return
    verdict = "" if met is None else ("PASS" if met else "MISS")
    with open(path, "a", encoding="utf-8") as f:
        f.write(f"{name}\t{measured}\t{target}\t{verdict}\n")


def table(path):
    rows = [line.rstrip("\n").split("\t") for line in open(path, encoding="utf-8") if line.strip()]
    if not rows:
        return ""
    header = ["benchmark", "measured", "target", ""]
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(4)]
    lines = []
    for row in [header] + rows:
        lines.append("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
    return "\n".join(lines)


if __name__ == "__main__":
    import sys
    print(table(sys.argv[1]))
