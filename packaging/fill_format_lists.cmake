# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT

# cmake -DTEMPLATE=... -DLISTS=... -DOUTPUT=... -P fill_format_lists.cmake
# Fills the @KAVELORA_…@ lists of formats in TEMPLATE from LISTS, the file write_format_lists
# wrote from the decoder's format table, into OUTPUT.
foreach(argument TEMPLATE LISTS OUTPUT)
    if(NOT DEFINED ${argument})
        message(FATAL_ERROR "fill_format_lists.cmake needs -D${argument}=...")
    endif()
endforeach()
include(${LISTS})
# The metainfo names each MIME type in an element of its own.
set(KAVELORA_MEDIATYPE_ELEMENTS "")
foreach(mime_type IN LISTS KAVELORA_MIME_TYPES)
    string(APPEND KAVELORA_MEDIATYPE_ELEMENTS "\n    <mediatype>${mime_type}</mediatype>")
endforeach()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
