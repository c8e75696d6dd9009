#!/usr/bin/env bash
# Renders the user's guide (docs/USER_GUIDE.md) into the help page seeded into every program folder
# (data/Help/index.htm) with the pictures it shows, so Help > Contents works offline.
# usage: scripts/help-page.sh [--check]   (--check: fail when the committed page is out of date)
set -euo pipefail
cd "$(dirname "$0")/.."
out=data/Help
[ "${1:-}" = "--check" ] && out=$(mktemp -d)
/usr/bin/python3 - docs/USER_GUIDE.md "$out/index.htm" <<'PY'
import re, sys
import markdown
source, target = sys.argv[1], sys.argv[2]
text = open(source, encoding="utf-8").read()
title = text.splitlines()[0].lstrip("# ").strip()
body = markdown.markdown(text, extensions=["tables", "toc"], output_format="html")
body = re.sub(r'src="images/', 'src="', body)
page = f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.45; color: #222; }}
h1, h2, h3 {{ color: #234; }}
code, pre {{ background: #f2f2f2; }}
code {{ padding: 0 .25em; }}
pre {{ padding: .5em; overflow-x: auto; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #ccc; padding: .2em .5em; text-align: left; vertical-align: top; }}
img {{ max-width: 100%; border: 1px solid #ccc; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""
open(target, "w", encoding="utf-8").write(page)
PY
for picture in $(grep -o 'src="[^"]*\.png"' "$out/index.htm" | sed 's/src="//; s/"$//'); do
  cp "docs/images/$picture" "$out/$picture"
done
if [ "${1:-}" = "--check" ]; then
  diff -r -x CMakeLists.txt "$out" data/Help >/dev/null ||
    { echo "help-page: data/Help is out of date; run scripts/help-page.sh" >&2; rm -rf "$out"; exit 1; }
  rm -rf "$out"
fi
echo "help-page: data/Help/index.htm is up to date"
