# For the install and package checks: every expected file is under root, and
# nothing else is. A macro, so that what it finds joins the caller's failures
# through the caller's fail().
macro(expect_exactly root expected)
    foreach(file ${${expected}})
        if(NOT EXISTS ${root}/${file} OR IS_DIRECTORY ${root}/${file})
            fail("missing: ${file}")
        endif()
    endforeach()
    file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
    foreach(file ${found})
        if(NOT file IN_LIST ${expected})
            fail("not expected: ${file}")
        endif()
    endforeach()
endmacro()
