# qpx_add_installer(<target> <product folder> <output exe>): one installer from a product
# folder. The engine is the same for every product; only the resources differ.
set(QPX_RESOURCE_TOOL ${CMAKE_SOURCE_DIR}/tools/qpxres.py)

function(qpx_add_installer target product out)
  get_filename_component(product ${product} ABSOLUTE)
  file(GLOB_RECURSE product_files CONFIGURE_DEPENDS ${product}/*)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  add_custom_command(
    OUTPUT ${work}/resources.o
    COMMAND python3 ${QPX_RESOURCE_TOOL} --product ${product} --work ${work}
            --luac ${QPX_LUAC} --windres ${CMAKE_RC_COMPILER}
            --defaults ${CMAKE_SOURCE_DIR}/resources
    DEPENDS ${product_files} ${QPX_RESOURCE_TOOL}
    COMMENT "Building the resources of ${target} from ${product}"
    VERBATIM)
  add_executable(${target} WIN32 $<TARGET_OBJECTS:qpxentry> ${work}/resources.o)
  target_link_libraries(${target} PRIVATE qpxapp)
  target_link_options(${target} PRIVATE -municode -mwindows)
  get_filename_component(out_dir ${out} DIRECTORY)
  get_filename_component(out_name ${out} NAME_WE)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${out_dir}
                                             OUTPUT_NAME ${out_name})
endfunction()
