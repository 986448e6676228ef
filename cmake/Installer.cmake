# The engine's stubs, and qpx_add_installer(<target> <product folder> <output exe> [UNCHECKED]
#                   [SIGN_CERT <file> SIGN_KEY <file>] [PAYLOAD_FILES <files...>]
#                   [DEPENDS <targets...>]):
# one installer from a product folder, written by the product builder (tools/qpxbuild.py) into
# a copy of the stubs, as the kit does. The engine is the same for every product; only the
# resources differ. The product is checked first (UNCHECKED: only for the engine's own tests
# of broken products); the installer is signed last when the arguments or the product's
# signing.conf name a certificate and key. PAYLOAD_FILES are files the build makes (programs of
# the product, made by the DEPENDS targets); they join the product's payload at its root. A product with an uninstall
# script gets the uninstaller in its payload as Uninstall.exe; it and the compiled chunks stay
# in <target>.res beside the installer's target.
set(QPX_BUILDER ${CMAKE_SOURCE_DIR}/tools/qpxbuild.py)
set(QPX_BUILDER_DEPENDS ${QPX_BUILDER} ${CMAKE_SOURCE_DIR}/tools/qpxres.py
    ${CMAKE_SOURCE_DIR}/tools/qpxcheck.py ${CMAKE_SOURCE_DIR}/tools/qpxlayout.py
    ${CMAKE_SOURCE_DIR}/tools/qpxpe.py ${CMAKE_SOURCE_DIR}/tools/qpxsign.py
    ${CMAKE_SOURCE_DIR}/tools/luachunk.py)
set(QPX_STUBS ${CMAKE_BINARY_DIR}/stubs)
# What every run of the builder is given: the tree's stubs, this machine's script compiler and
# the engine's default icon and pages.
set(QPX_BUILDER_ARGS --stubs ${QPX_STUBS} --luac ${QPX_LUAC} --defaults ${CMAKE_SOURCE_DIR}/resources)
set(QPX_SIGN_CERT "" CACHE FILEPATH "Certificate that signs `installer` (optional)")
set(QPX_SIGN_KEY "" CACHE FILEPATH "Private key of QPX_SIGN_CERT")

# qpx_add_stubs(): the product-independent programs, QPXSetup.exe and Uninstall.exe in
# QPX_STUBS, linked without resources (target `stubs`).
function(qpx_add_stubs)
  add_executable(qpxstub WIN32 $<TARGET_OBJECTS:qpxentry>)
  target_link_libraries(qpxstub PRIVATE qpxapp)
  add_executable(qpxuninststub WIN32 $<TARGET_OBJECTS:qpxuninstentry>)
  target_link_libraries(qpxuninststub PRIVATE qpxuninst)
  foreach(stub qpxstub qpxuninststub)
    target_link_options(${stub} PRIVATE -municode -mwindows)
    set_target_properties(${stub} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QPX_STUBS})
  endforeach()
  set_target_properties(qpxstub PROPERTIES OUTPUT_NAME QPXSetup)
  set_target_properties(qpxuninststub PROPERTIES OUTPUT_NAME Uninstall)
  add_custom_target(stubs DEPENDS qpxstub qpxuninststub)
endfunction()

function(qpx_add_installer target product out)
  cmake_parse_arguments(PARSE_ARGV 3 arg "UNCHECKED" "SIGN_CERT;SIGN_KEY" "PAYLOAD_FILES;DEPENDS")
  get_filename_component(product ${product} ABSOLUTE)
  set(options)
  foreach(file ${arg_PAYLOAD_FILES})
    list(APPEND options --payload-file ${file})
  endforeach()
  if(arg_UNCHECKED)
    list(APPEND options --unchecked)
  endif()
  file(GLOB_RECURSE product_files CONFIGURE_DEPENDS ${product}/* ${CMAKE_SOURCE_DIR}/resources/uninstall/*)
  add_custom_command(
    OUTPUT ${out}
    COMMAND python3 ${QPX_BUILDER} ${product} -o ${out} ${QPX_BUILDER_ARGS}
            --work ${CMAKE_CURRENT_BINARY_DIR}/${target}.res ${options}
            --sign-cert "${arg_SIGN_CERT}" --sign-key "${arg_SIGN_KEY}"
    DEPENDS qpxstub qpxuninststub ${product_files} ${arg_PAYLOAD_FILES} ${QPX_BUILDER_DEPENDS}
    COMMENT "Building ${target} from ${product}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${out})
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()
endfunction()

# qpx_add_resources(<program target> <product folder>): a program of the engine's tests and
# benchmarks linked without resources gets the product's installer resources written into it
# after linking, by the same builder, and is linked again when the product changes.
function(qpx_add_resources target product)
  get_filename_component(product ${product} ABSOLUTE)
  file(GLOB_RECURSE product_files CONFIGURE_DEPENDS ${product}/*)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${product_files} ${QPX_BUILDER_DEPENDS})
  add_dependencies(${target} qpxuninststub)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND python3 ${QPX_BUILDER} ${product} -o $<TARGET_FILE:${target}> ${QPX_BUILDER_ARGS}
            --stub $<TARGET_FILE:${target}> --unchecked
    VERBATIM)
endfunction()
