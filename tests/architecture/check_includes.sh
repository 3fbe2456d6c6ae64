#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# check_includes.sh SRC_DIR: fails when a source file includes against the architecture.
# Folders may include their own headers and those of the folders after them in this order:
#   shell -> commands -> window -> print -> picture -> platform
# (the printer draws pictures, so print may use picture but not the other way round).
# Only picture/ (the viewer's built-in pictures) and the decoder helper (decoder/) decode,
# only print/ paints on the printer and only platform/ shows dialogs. In the helper, a codec
# library's headers appear only in its own format's folder, format folders never include
# each other, and decoder/ uses of the viewer's folders only protocol/ and
# platform/runtime_error.h.
set -uo pipefail
src=${1:?usage: check_includes.sh SRC_DIR}
layers=(shell commands window print picture platform)
failures=0
checked=0

fail() {
    echo "$1"
    failures=$((failures + 1))
}

layer_index() {
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}

# includes FILE: every header FILE includes, one per line, without quotes or brackets.
includes() {
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^>"]*\)[>"].*/\1/p' "$1"
}

# allowed_only_in FOLDER FILE FOLDER_OF_FILE HEADER...: fails when FILE, outside FOLDER,
# includes one of the headers.
allowed_only_in() {
    local owner=$1 file=$2 folder=$3 header
    shift 3
    [ "$folder" = "$owner" ] && return
    for header in "$@"; do
        if includes "$file" | grep -qx "$header"; then
            fail "${file#"$src"/}: includes <$header>, which only $owner/ may use"
        fi
    done
}

# What runs only in the decoder helper: every header below decoder/. The viewer's own code
# includes none of them.
mapfile -t helper_headers < <(cd "$src" && find decoder -name '*.h' 2>/dev/null | sort)

# codec_folder HEADER: the format folder whose codec library HEADER belongs to, or nothing.
codec_folder() {
    case $1 in
    jpeglib.h | jerror.h) echo jpeg ;;
    zlib.h) echo png ;;
    tiffio.h) echo tiff ;;
    webp/*) echo webp ;;
    gif_lib.h) echo gif ;;
    libheif/*) echo heif ;;
    avif/*) echo avif ;;
    jxl/*) echo jxl ;;
    esac
}

# check_decoder_file RELATIVE: the helper's own rules for a file below decoder/.
check_decoder_file() {
    local relative=$1 header own_format="" owner
    [[ $relative == decoder/formats/*/* ]] && own_format=${relative#decoder/formats/} &&
        own_format=${own_format%%/*}
    while IFS= read -r header; do
        owner=$(codec_folder "$header")
        if [ -n "$owner" ] && [ "$owner" != "$own_format" ]; then
            fail "$relative: includes <$header>, which only decoder/formats/$owner/ may use"
        fi
        if [[ $header == decoder/formats/*/* ]] && [ -n "$own_format" ] &&
            [[ $header != decoder/formats/$own_format/* ]]; then
            fail "$relative: includes $header; formats never include each other"
        fi
        case $header in
        shell/* | commands/* | window/* | print/* | picture/* | platform/*)
            [ "$header" = platform/runtime_error.h ] ||
                fail "$relative: the decoder helper includes $header"
            ;;
        esac
    done < <(includes "$src/$relative")
}

while IFS= read -r relative; do
    file=$src/$relative
    [ -r "$file" ] || { fail "$relative: cannot be read"; continue; }
    checked=$((checked + 1))
    folder=${relative%%/*}
    [ "$folder" = "$relative" ] && folder=main
    own=$(layer_index "$folder")
    while IFS= read -r header; do
        target=${header%%/*}
        [ "$target" = "$header" ] && continue
        wanted=$(layer_index "$target")
        [ "$wanted" -lt 0 ] && continue
        if [ "$folder" = main ]; then
            [ "$target" = shell ] || fail "$relative: the executable includes $header; only shell/ starts the program"
        elif [ "$wanted" -lt "$own" ]; then
            fail "$relative: $folder/ includes $header; dependencies point shell -> commands -> window -> print -> picture -> platform"
        fi
    done < <(includes "$file")

    if [ "$folder" = decoder ]; then
        check_decoder_file "$relative"
    else
        allowed_only_in picture "$file" "$folder" QImageReader QImageIOHandler QMovie \
            jpeglib.h zlib.h tiffio.h webp/decode.h
        for header in "${helper_headers[@]}"; do
            if includes "$file" | grep -qx "$header"; then
                fail "$relative: the viewer includes $header, which runs only in the decoder helper"
            fi
        done
    fi
    allowed_only_in print "$file" "$folder" QPrintEngine QPagedPaintDevice QPdfWriter
    allowed_only_in platform "$file" "$folder" QFileDialog QPrintDialog QMessageBox \
        QAbstractPrintDialog QPageSetupDialog QPrintPreviewDialog
    # The print dialog edits the printer, but only print/ paints on it.
    if [ "$folder" != print ] && includes "$file" | grep -qx QPrinter &&
        includes "$file" | grep -qx QPainter; then
        fail "$relative: paints on a QPrinter outside print/"
    fi
done < <(cd "$src" && find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

if [ "$checked" -eq 0 ]; then
    echo "no source files found below $src"
    exit 1
fi
echo "$checked files checked, $failures include rule violations"
[ "$failures" -eq 0 ]
