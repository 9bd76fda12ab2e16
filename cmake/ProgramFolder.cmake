# Lays out the program folder: the shop's web files, the help pages and the sound beside the
# executable. Only the files we ship are copied, each when its source changes; the owner's
# own files there (catalogue, settings, pictures, the generated product data) are never touched.

set(_kiosk_owner_files "store/storesettings.txt" "store/productdetails.nif")

file(GLOB_RECURSE _kiosk_shipped RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/store/*"
    "${CMAKE_CURRENT_SOURCE_DIR}/help/*")
file(GLOB _kiosk_top_level RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}/assets" CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/assets/*")

set(_kiosk_outputs "")
foreach(rel IN LISTS _kiosk_shipped)
    if(rel IN_LIST _kiosk_owner_files)
        continue()
    endif()
    set(out "${KIOSK_PROGRAM_DIR}/${rel}")
    add_custom_command(OUTPUT "${out}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_CURRENT_SOURCE_DIR}/${rel}" "${out}"
        DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${rel}"
        VERBATIM)
    list(APPEND _kiosk_outputs "${out}")
endforeach()
foreach(rel IN LISTS _kiosk_top_level)
    set(out "${KIOSK_PROGRAM_DIR}/${rel}")
    add_custom_command(OUTPUT "${out}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_CURRENT_SOURCE_DIR}/assets/${rel}" "${out}"
        DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/assets/${rel}"
        VERBATIM)
    list(APPEND _kiosk_outputs "${out}")
endforeach()

add_custom_target(kiosk_program_folder ALL DEPENDS ${_kiosk_outputs})
add_dependencies(kioskSmith kiosk_program_folder)
