# qpx_add_installer(<target> <product folder> <output exe> [UNCHECKED]
#                   [SIGN_CERT <file> SIGN_KEY <file>] [PAYLOAD_FILES <files...>]):
# one installer from a product folder. The engine is the same for every product; only the
# resources differ. The product is checked first (UNCHECKED: only for the engine's own tests
# of broken products); the installer is signed last when the arguments or the product's
# signing.conf name a certificate and key. PAYLOAD_FILES are files the build makes (programs of
# the product); they join the product's payload at its root. A product with an uninstall
# script gets the uninstaller (qpx_add_uninstaller) in its payload as Uninstall.exe.
set(QPX_RESOURCE_TOOL ${CMAKE_SOURCE_DIR}/tools/qpxres.py)
# What every run of the resource tool is given: this machine's script compiler, the target's
# size_t for the compiled chunks, the resource compiler and the engine's default icon.
set(QPX_RESOURCE_TOOL_ARGS --luac ${QPX_LUAC} --lua-size-t ${CMAKE_SIZEOF_VOID_P}
    --windres ${CMAKE_RC_COMPILER} --defaults ${CMAKE_SOURCE_DIR}/resources)
set(QPX_RESOURCE_TOOL_DEPENDS ${QPX_RESOURCE_TOOL} ${CMAKE_SOURCE_DIR}/tools/qpxcheck.py
    ${CMAKE_SOURCE_DIR}/tools/luachunk.py)
set(QPX_SIGN_CERT "" CACHE FILEPATH "Certificate that signs `installer` (optional)")
set(QPX_SIGN_KEY "" CACHE FILEPATH "Private key of QPX_SIGN_CERT")

# qpx_add_uninstaller(<target> <product folder> <output folder>): the product's uninstaller,
# <output folder>/Uninstall.exe: the engine's uninstaller with the product's icon, its
# uninstall pages (or the engine's default ones) and its language files.
function(qpx_add_uninstaller target product out_dir)
  get_filename_component(product ${product} ABSOLUTE)
  file(GLOB_RECURSE look CONFIGURE_DEPENDS ${product}/uninstall/* ${product}/skin/* ${product}/lang/*
       ${product}/icon.ico ${CMAKE_SOURCE_DIR}/resources/uninstall/*)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  add_custom_command(
    OUTPUT ${work}/resources.o
    COMMAND python3 ${QPX_RESOURCE_TOOL} --product ${product} --work ${work} --uninstaller
            ${QPX_RESOURCE_TOOL_ARGS}
    DEPENDS ${look} ${QPX_RESOURCE_TOOL_DEPENDS}
    COMMENT "Building the resources of ${target} from ${product}"
    VERBATIM)
  add_executable(${target} WIN32 $<TARGET_OBJECTS:qpxuninstentry> ${work}/resources.o)
  target_link_libraries(${target} PRIVATE qpxuninst)
  target_link_options(${target} PRIVATE -municode -mwindows)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${out_dir} OUTPUT_NAME Uninstall)
endfunction()

function(qpx_add_installer target product out)
  cmake_parse_arguments(PARSE_ARGV 3 arg "UNCHECKED" "SIGN_CERT;SIGN_KEY" "PAYLOAD_FILES")
  set(check)
  set(payload_files)
  get_filename_component(product ${product} ABSOLUTE)
  if(EXISTS ${product}/scripts/uninstall.lua)
    qpx_add_uninstaller(${target}_uninstaller ${product} ${CMAKE_CURRENT_BINARY_DIR}/${target}.uninstaller)
    list(APPEND arg_PAYLOAD_FILES $<TARGET_FILE:${target}_uninstaller>)
  endif()
  foreach(file ${arg_PAYLOAD_FILES})
    list(APPEND payload_files --payload-file ${file})
  endforeach()
  if(arg_UNCHECKED)
    set(check --unchecked)
  endif()
  get_filename_component(product ${product} ABSOLUTE)
  file(GLOB_RECURSE product_files CONFIGURE_DEPENDS ${product}/*)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  add_custom_command(
    OUTPUT ${work}/resources.o
    COMMAND python3 ${QPX_RESOURCE_TOOL} --product ${product} --work ${work}
            ${QPX_RESOURCE_TOOL_ARGS} ${check} ${payload_files}
    DEPENDS ${product_files} ${arg_PAYLOAD_FILES} ${QPX_RESOURCE_TOOL_DEPENDS}
    COMMENT "Building the resources of ${target} from ${product}"
    VERBATIM)
  add_executable(${target} WIN32 $<TARGET_OBJECTS:qpxentry> ${work}/resources.o)
  target_link_libraries(${target} PRIVATE qpxapp)
  target_link_options(${target} PRIVATE -municode -mwindows)
  get_filename_component(out_dir ${out} DIRECTORY)
  get_filename_component(out_name ${out} NAME_WE)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${out_dir}
                                             OUTPUT_NAME ${out_name})
  # The payload maps from the file under Wine, not read whole at start; then the signature.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/qpxpe.py $<TARGET_FILE:${target}>
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/qpxsign.py --product ${product}
            --cert "${arg_SIGN_CERT}" --key "${arg_SIGN_KEY}" $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
