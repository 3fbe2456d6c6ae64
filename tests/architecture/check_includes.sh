#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# check_includes.sh SRC_DIR: fails when a source file includes against the architecture, and
# names the rule it breaks. check_includes.sh --rules lists the rules.
#
# The viewer's folders may include their own headers and those of the folders after them:
#   shell -> commands -> window -> print -> picture -> protocol -> platform
# (the printer draws pictures, so print may use picture but not the other way round).
# decoder/ is the helper process: the viewer never includes it, and it includes nothing of the
# viewer's but the protocol both ends share and the run-time errors. Inside it, each format's
# folder stands alone, common/ serves them all, and a codec library's headers appear only in
# the folder of the format it reads.
set -uo pipefail

rules=(
    layers
    executable-starts-shell
    viewer-never-includes-decoder
    decoder-includes-only-protocol
    protocol-stands-alone
    formats-stand-apart
    common-serves-formats
    codec-headers-in-own-format
    qt-readers-in-decoder
    print-engine-in-print
    dialogs-in-platform
    printer-painted-in-print
)
if [ "${1:-}" = --rules ]; then
    printf '%s\n' "${rules[@]}"
    exit 0
fi
src=${1:?usage: check_includes.sh SRC_DIR | --rules}
layers=(shell commands window print picture protocol platform)
shared_headers=(platform/runtime_error.h)
failures=0
checked=0

fail() {
    echo "[$1] $2"
    failures=$((failures + 1))
}

layer_index() {
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}

is_shared_header() {
    local header
    for header in "${shared_headers[@]}"; do
        [ "$1" = "$header" ] && return 0
    done
    return 1
}

# includes FILE: every header FILE includes, one per line, without quotes or brackets.
includes() {
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^>"]*\)[>"].*/\1/p' "$1"
}

# The folder of decoder/formats/ whose reader a codec library's header belongs to.
codec_owner() {
    case $1 in
    jpeglib.h | jerror.h | jconfig.h | jmorecfg.h) echo jpeg ;;
    zlib.h) echo png ;;
    tiffio.h | tiff.h) echo tiff ;;
    webp/*) echo webp ;;
    gif_lib.h) echo gif ;;
    libheif/* | libde265/*) echo heif ;;
    avif/*) echo avif ;;
    jxl/*) echo jxl ;;
    *) echo "" ;;
    esac
}

# only_in RULE OWNERS RELATIVE HEADER...: fails when RELATIVE, outside the folders and files
# OWNERS names, includes one of the headers.
only_in() {
    local rule=$1 owners=$2 relative=$3 header owner
    shift 3
    for owner in $owners; do
        [[ $relative == "$owner"/* || $relative == "$owner" ]] && return
    done
    for header in "$@"; do
        if grep -qx "$header" <<<"$file_includes"; then
            fail "$rule" "$relative: includes <$header>, which only $owners may use"
        fi
    done
}

check_viewer_file() {
    local relative=$1 folder=$2 header target own wanted
    own=$(layer_index "$folder")
    while IFS= read -r header; do
        target=${header%%/*}
        [ "$target" = "$header" ] && continue
        if [ "$target" = decoder ]; then
            fail viewer-never-includes-decoder "$relative: includes $header; the viewer talks to the helper only through protocol/"
            continue
        fi
        wanted=$(layer_index "$target")
        [ "$wanted" -lt 0 ] && continue
        if [ "$folder" = protocol ] && [ "$target" != protocol ] && ! is_shared_header "$header"; then
            fail protocol-stands-alone "$relative: includes $header; what both processes share depends on nothing of either"
        elif [ "$wanted" -lt "$own" ]; then
            fail layers "$relative: $folder/ includes $header; dependencies point ${layers[*]}"
        fi
    done <<<"$file_includes"
}

check_decoder_file() {
    local relative=$1 header target format other
    format=""
    [[ $relative == decoder/formats/*/* ]] && { format=${relative#decoder/formats/}; format=${format%%/*}; }
    while IFS= read -r header; do
        [ -z "$header" ] && continue
        target=${header%%/*}
        if [ "$target" != "$header" ] && [ "$(layer_index "$target")" -ge 0 ] &&
            [ "$target" != protocol ] && ! is_shared_header "$header"; then
            fail decoder-includes-only-protocol "$relative: includes $header; the helper uses nothing of the viewer's but protocol/ and the run-time errors"
        fi
        if [[ $header == decoder/formats/* ]]; then
            other=${header#decoder/formats/}
            other=${other%%/*}
            if [ -n "$format" ] && [ "$other" != "$format" ]; then
                fail formats-stand-apart "$relative: includes $header; one format never uses another's reader"
            elif [[ $relative == decoder/common/* ]]; then
                fail common-serves-formats "$relative: includes $header; common/ serves the formats and knows none of them"
            fi
        fi
    done <<<"$file_includes"
}

check_codec_headers() {
    local relative=$1 header owner
    while IFS= read -r header; do
        owner=$(codec_owner "$header")
        [ -z "$owner" ] && continue
        [[ $relative == decoder/formats/"$owner"/* ]] && continue
        fail codec-headers-in-own-format "$relative: includes <$header>, which only decoder/formats/$owner/ may use"
    done <<<"$file_includes"
}

while IFS= read -r relative; do
    file=$src/$relative
    [ -r "$file" ] || { fail unreadable "$relative: cannot be read"; continue; }
    checked=$((checked + 1))
    file_includes=$(includes "$file")
    folder=${relative%%/*}
    if [ "$folder" = "$relative" ]; then
        while IFS= read -r header; do
            [[ -z $header || $header == shell/* || $header != */* ]] && continue
            fail executable-starts-shell "$relative: the executable includes $header; only shell/ starts the program"
        done <<<"$file_includes"
    elif [ "$folder" = decoder ]; then
        check_decoder_file "$relative"
    else
        check_viewer_file "$relative" "$folder"
    fi
    check_codec_headers "$relative"
    # The viewer reads its own built-in pictures; every file it is given goes to the helper.
    only_in qt-readers-in-decoder "decoder picture/built_in_assets.cpp" "$relative" \
        QImageReader QImageIOHandler QMovie
    only_in print-engine-in-print print "$relative" QPrintEngine QPagedPaintDevice QPdfWriter
    only_in dialogs-in-platform platform "$relative" QFileDialog QPrintDialog QMessageBox \
        QAbstractPrintDialog QPageSetupDialog QPrintPreviewDialog
    # The print dialog edits the printer, but only print/ paints on it.
    if [[ $relative != print/* ]] && grep -qx QPrinter <<<"$file_includes" &&
        grep -qx QPainter <<<"$file_includes"; then
        fail printer-painted-in-print "$relative: paints on a QPrinter outside print/"
    fi
done < <(cd "$src" && find . \( -name '*.h' -o -name '*.cpp' \) | sed 's|^\./||' | sort)

if [ "$checked" -eq 0 ]; then
    echo "no source files found below $src"
    exit 1
fi
echo "$checked files checked, $failures include rule violations"
[ "$failures" -eq 0 ]
