#!/bin/sh
# Re-renders the art PNGs (tap/images/art/*.png) from their SVG sources and the
# demo's contact pictures (demo/disk/PhotoFiles/Ringwatcher/*.jpg) from
# tap/images/art/photos/*.svg. The build reads only the results, so run this
# after editing an SVG and commit both.
# Needs: rsvg-convert (librsvg2-bin), pngtopnm (netpbm), cjpeg (libjpeg-turbo-progs).
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
art="$root/tap/images/art"
photos="$root/demo/disk/PhotoFiles/Ringwatcher"

for tool in rsvg-convert pngtopnm cjpeg; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "render-art.sh: $tool is missing (apt-get install librsvg2-bin netpbm libjpeg-turbo-progs)" >&2
        exit 1
    }
done

for svg in "$art"/*.svg; do
    rsvg-convert "$svg" -o "${svg%.svg}.png"
done

mkdir -p "$photos"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for svg in "$art"/photos/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert "$svg" -o "$tmp/$name.png"
    pngtopnm "$tmp/$name.png" > "$tmp/$name.ppm"
    cjpeg -quality 90 -optimize -outfile "$photos/$name.jpg" "$tmp/$name.ppm"
done
echo "render-art.sh: rendered $(ls "$art"/*.svg | wc -l) images and $(ls "$art"/photos/*.svg | wc -l) pictures"
