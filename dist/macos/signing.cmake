# Code signing on macOS: lwk_sign(TARGET IDENTIFIER) signs the target after
# each build with the hardened runtime (library validation with it), and
# verifies the signature. Called where the target is made, as CMake asks of
# a target's build steps; does nothing elsewhere, or without an identity.

set(LANTERN_WHARF_SIGNING_IDENTITY "" CACHE STRING
    "codesign identity, e.g. \"Developer ID Application: NAME (TEAM)\"; empty: left unsigned")
option(LANTERN_WHARF_HARDENED_RUNTIME "Sign with the hardened runtime (and library validation)" ON)

function(lwk_sign target identifier)
  if(NOT APPLE OR NOT LANTERN_WHARF_SIGNING_IDENTITY)
    return()
  endif()
  find_program(LWK_CODESIGN codesign REQUIRED)
  set(runtime "")
  if(LANTERN_WHARF_HARDENED_RUNTIME)
    set(runtime --options=runtime)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LWK_CODESIGN} --force --timestamp ${runtime}
            --sign "${LANTERN_WHARF_SIGNING_IDENTITY}" --identifier ${identifier}
            $<TARGET_FILE:${target}>
    COMMAND ${LWK_CODESIGN} --verify --strict $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
