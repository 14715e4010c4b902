# Code signing of the project's programs.
#
# Signatures chain to one anchor certificate. Give a real anchor, signing certificate (followed
# by any intermediates) and key with the three cache options below; when none is given, configure
# generates a throwaway anchor and a developer certificate in the build tree, so development
# builds sign and verify end to end while nothing secret is ever committed.
#
#   ferrolux_sign(<target> IDENTIFIER <identifier>)
#     Signs <target>'s output after every link with ferrolux-codesign, e.g.
#       ferrolux_sign(ferrolux IDENTIFIER com.tarquell.Ferrolux)
#       ferrolux_sign(com.tarquell.powermetrics IDENTIFIER com.tarquell.powermetrics)
#
#   fx_anchor (static library)
#     Holds the anchor's PEM text: `codesign::configuredAnchorPem()` from
#     "shared/codesign/ConfiguredAnchor.h", for the programs that verify signatures.

set(FERROLUX_SIGNING_ANCHOR "" CACHE FILEPATH "PEM anchor certificate signatures must chain to")
set(FERROLUX_SIGNING_CERT "" CACHE FILEPATH "PEM signing certificate, followed by any intermediates")
set(FERROLUX_SIGNING_KEY "" CACHE FILEPATH "PEM private key of the signing certificate")

set(FERROLUX_DEVELOPER_CN "Developer ID Application: Tarquell (QZ4K8WD2RM)")

function(_ferrolux_openssl)
  execute_process(COMMAND ${FERROLUX_OPENSSL_EXECUTABLE} ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGN} failed:\n${out}")
  endif()
endfunction()

function(_ferrolux_generate_signing_material dir)
  find_program(FERROLUX_OPENSSL_EXECUTABLE openssl REQUIRED)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/developer.ext
    "basicConstraints=critical,CA:FALSE\n"
    "keyUsage=critical,digitalSignature\n"
    "extendedKeyUsage=critical,codeSigning\n"
    "subjectKeyIdentifier=hash\n"
    "authorityKeyIdentifier=keyid\n")
  _ferrolux_openssl(req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes
    -keyout ${dir}/anchor.key -out ${dir}/anchor.pem -days 3650
    -subj "/CN=Ferrolux Development Anchor/O=Ferrolux development build"
    -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,keyCertSign,cRLSign")
  _ferrolux_openssl(req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes
    -keyout ${dir}/developer.key -out ${dir}/developer.csr
    "-subj" "/CN=${FERROLUX_DEVELOPER_CN}/O=Tarquell/OU=QZ4K8WD2RM")
  _ferrolux_openssl(x509 -req -in ${dir}/developer.csr -CA ${dir}/anchor.pem
    -CAkey ${dir}/anchor.key -days 3650 -extfile ${dir}/developer.ext -out ${dir}/developer.pem)
  file(CHMOD ${dir}/anchor.key ${dir}/developer.key PERMISSIONS OWNER_READ OWNER_WRITE)
  file(REMOVE ${dir}/developer.csr)
  message(STATUS "Generated a throwaway signing anchor and developer certificate in ${dir}")
endfunction()

if(FERROLUX_SIGNING_ANCHOR OR FERROLUX_SIGNING_CERT OR FERROLUX_SIGNING_KEY)
  if(NOT (FERROLUX_SIGNING_ANCHOR AND FERROLUX_SIGNING_CERT AND FERROLUX_SIGNING_KEY))
    message(FATAL_ERROR "Set all of FERROLUX_SIGNING_ANCHOR, FERROLUX_SIGNING_CERT and "
                        "FERROLUX_SIGNING_KEY, or none of them for a throwaway development set")
  endif()
  set(FERROLUX_SIGNING_ANCHOR_FILE ${FERROLUX_SIGNING_ANCHOR})
  set(FERROLUX_SIGNING_CERT_FILE ${FERROLUX_SIGNING_CERT})
  set(FERROLUX_SIGNING_KEY_FILE ${FERROLUX_SIGNING_KEY})
else()
  set(_dir ${PROJECT_BINARY_DIR}/signing)
  set(FERROLUX_SIGNING_ANCHOR_FILE ${_dir}/anchor.pem)
  set(FERROLUX_SIGNING_CERT_FILE ${_dir}/developer.pem)
  set(FERROLUX_SIGNING_KEY_FILE ${_dir}/developer.key)
  # Generated once per build tree; reconfiguring keeps the same anchor.
  if(NOT (EXISTS ${FERROLUX_SIGNING_ANCHOR_FILE} AND EXISTS ${FERROLUX_SIGNING_CERT_FILE}
          AND EXISTS ${FERROLUX_SIGNING_KEY_FILE}))
    _ferrolux_generate_signing_material(${_dir})
  endif()
endif()
foreach(_f IN ITEMS ${FERROLUX_SIGNING_ANCHOR_FILE} ${FERROLUX_SIGNING_CERT_FILE} ${FERROLUX_SIGNING_KEY_FILE})
  if(NOT EXISTS ${_f})
    message(FATAL_ERROR "Signing file ${_f} does not exist")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_f})
endforeach()

function(ferrolux_sign target)
  cmake_parse_arguments(S "" "IDENTIFIER" "" ${ARGN})
  if(NOT S_IDENTIFIER)
    message(FATAL_ERROR "ferrolux_sign(${target}) needs IDENTIFIER")
  endif()
  add_dependencies(${target} ferrolux-codesign)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ferrolux-codesign sign --identifier ${S_IDENTIFIER}
            --cert ${FERROLUX_SIGNING_CERT_FILE} --key ${FERROLUX_SIGNING_KEY_FILE}
            $<TARGET_FILE:${target}>
    COMMENT "Signing ${target} as ${S_IDENTIFIER}"
    VERBATIM)
endfunction()
