#!/bin/sh
# Gives the demo's served copy of the Atom feed one new headline, so that
# its next fetch brings news: the entry goes in last, after the timber
# fair, where the demo's pictures wait for it. A second run finds the entry
# there and leaves the file alone.
# Usage: add-headline.sh FEEDS_DIR   (the served copy, never tools/demo/feeds)
set -u
feed="$1/werkstatt.xml"
grep -q 'tag:werkstatt.example,2026:just-in' "$feed" && exit 0
entry='  <entry>\
    <title>Neu: just in, this headline came with the refresh</title>\
    <link href="2026/12/just-in"/>\
    <id>tag:werkstatt.example,2026:just-in</id>\
    <updated>2026-12-08T10:00:00Z</updated>\
    <summary>Written into the served feed while the demo runs.</summary>\
  </entry>'
# A new file moved over the old one: the server never sends half of it.
sed "/<\/feed>/i\\
$entry" "$feed" >"$feed.new" && mv "$feed.new" "$feed"
