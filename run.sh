#!/bin/bash
# run.sh page.html [N]
for ((k=0;k<${2:-3};k++)); do
chromium --headless --no-sandbox --disable-gpu --window-size=1400,1000 --dump-dom "file://$(realpath $1)" 2>/dev/null | grep -o '<body[^>]*>' | grep -o 'data-[a-z0-9-]*="[^"]*"' | tr '\n' ' '; echo
done
