# Runs the tool's gallery and its argument checks.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${LUMEO} gallery ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lumeo gallery failed: ${rc}")
endif()
foreach(f index.html code39.png code39.svg)
  if(NOT EXISTS ${OUT}/${f})
    message(FATAL_ERROR "gallery did not write ${f}")
  endif()
endforeach()
file(READ ${OUT}/code39.png head LIMIT 8 HEX)
if(NOT head STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "code39.png is not a PNG file")
endif()
foreach(bad "" "nosuchtype ABC -o x.png" "code39 ABC" "code39 ABC -o x.png --width" "code39 ABC -o x.png --bogus 1"
            "code39 ABC -o x.gif")
  separate_arguments(args UNIX_COMMAND "${bad}")
  execute_process(COMMAND ${LUMEO} ${args} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET
                  WORKING_DIRECTORY ${OUT})
  if(rc EQUAL 0)
    message(FATAL_ERROR "lumeo ${bad} should fail")
  endif()
  if(err STREQUAL "")
    message(FATAL_ERROR "lumeo ${bad} printed no reason")
  endif()
endforeach()
execute_process(COMMAND ${LUMEO} 0 HELLO -o ${OUT}/cli.svg --width 300 --height 80 --fg 0,0,128
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${OUT}/cli.svg)
  message(FATAL_ERROR "lumeo 0 HELLO -o cli.svg failed")
endif()

# The gallery's PNG files read back with an independent reader (zbar), where one is installed.
# Symbols that zbar does not know are checked by the unit tests instead.
find_program(ZBARIMG zbarimg)
if(ZBARIMG)
  set(expected
    "code39|LUMEO-39" "code93|PN-4711/B" "code128|Order No. 2024-00815" "itf|14901234567891"
    "itf-odd|01234567" "jan13|4901234567894" "jan13-uniform|4901234567894" "jan8|49012347"
    "upca|0036000291452" "upce|0042100005264" "nw7|A0123-4567-89B"
    "qr|https://example.jp/lumeo?item=4901234567894"
    "databar14|0120012345678909" "databar14-stacked|0109501101530010" "databar14-stacked-omni|0145123456789060"
    "databar-expanded|0190012345678908310300175015251231")
  # With the quiet zone the tool adds, the other variants read too.
  list(APPEND expected
    "gs1-128|01049123456789041526123110LOT-42A" "jan8-uniform|49012347" "upca-uniform|0036000291452"
    "upce-uniform|0042100005264" "nw7-hidden|D30-0045:17D" "qr-level-h|SN-2024-000123 LOT A7"
    "qr-numeric|4901234567894202406010001" "qr-version-10|TEL:+81-3-1234-5678")
  foreach(pair IN LISTS expected)
    string(REPLACE "|" ";" kv "${pair}")
    list(GET kv 0 stem)
    list(GET kv 1 text)
    execute_process(COMMAND ${ZBARIMG} -q --raw ${OUT}/${stem}.png OUTPUT_VARIABLE decoded ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT decoded STREQUAL text)
      message(FATAL_ERROR "zbarimg read ${stem}.png as '${decoded}', expected '${text}'")
    endif()
  endforeach()
endif()
