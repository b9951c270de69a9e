# Authenticode signing (SHA-256, osslsigncode) of the programs the build makes for users: our
# iu.exe before the installer embeds it, and the installer once its resources are in. A bridge
# client passed in (the SDK's) is embedded as it is: it carries its maker's signature.
#
# By default the test certificate of resources/testsign signs, which no Windows trusts. A build
# for users names the vendor's: a PKCS#12 file, a file holding its password (read by
# osslsigncode, never put on a command line), and a timestamp server if wanted.
set(KAVORIN_SIGN_PKCS12 "" CACHE FILEPATH
  "PKCS#12 file with the code-signing certificate and its key (default: the test certificate)")
set(KAVORIN_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of KAVORIN_SIGN_PKCS12")
set(KAVORIN_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server to stamp the signatures (default: none)")

set(KAVORIN_TEST_SIGN_DIR ${CMAKE_SOURCE_DIR}/resources/testsign)
if(KAVORIN_SIGN_PKCS12)
  if(NOT KAVORIN_SIGN_PASSWORD_FILE)
    message(FATAL_ERROR "KAVORIN_SIGN_PKCS12 needs KAVORIN_SIGN_PASSWORD_FILE: a file holding its password.")
  endif()
  set(kavorin_sign_pkcs12 "${KAVORIN_SIGN_PKCS12}")
  set(kavorin_sign_password "${KAVORIN_SIGN_PASSWORD_FILE}")
else()
  set(kavorin_sign_pkcs12 ${KAVORIN_TEST_SIGN_DIR}/codesign.p12)
  set(kavorin_sign_password ${KAVORIN_TEST_SIGN_DIR}/codesign-password.txt)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    message(WARNING "This installer and its iu.exe are signed with the test code-signing certificate, "
      "which no Windows trusts: users are warned of an unknown publisher. A build for users names "
      "the vendor's with -DKAVORIN_SIGN_PKCS12=/path/to/codesign.p12 "
      "-DKAVORIN_SIGN_PASSWORD_FILE=/path/to/password.txt.")
  endif()
endif()
foreach(given kavorin_sign_pkcs12 kavorin_sign_password)
  if(NOT EXISTS "${${given}}")
    message(FATAL_ERROR "The signing file ${${given}} does not exist.")
  endif()
endforeach()
find_program(KAVORIN_OSSLSIGNCODE osslsigncode)
if(NOT KAVORIN_OSSLSIGNCODE)
  message(FATAL_ERROR "osslsigncode is missing: tools/setup-debian.sh installs it.")
endif()

# kavorin_sign(<target> <description>): signs the target's file in place after every link. The
# description is the name Windows shows for the signed program: for the installer, the file
# description of its version block. A changed certificate, password or server relinks and signs
# again.
function(kavorin_sign target description)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/tools/sign-exe.sh $<TARGET_FILE:${target}> ${kavorin_sign_pkcs12}
            ${kavorin_sign_password} ${description} ${KAVORIN_SIGN_TIMESTAMP_URL}
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${kavorin_sign_pkcs12} ${kavorin_sign_password})
endfunction()
