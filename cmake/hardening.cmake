# The hardening every Debian package gets from the distribution's build flags, and build paths kept out of the
# binaries so that two builds of one commit in different folders give the same bytes.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "HAVE${flag}" have)
  check_cxx_compiler_flag(${flag} ${have})
  if(${have})
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)

# _FORTIFY_SOURCE needs the optimiser, and the sanitizers' and libFuzzer's interceptors stand where its checked
# functions would: it goes only into optimised builds without either.
if(NOT DITESSARY_SANITIZE AND NOT DITESSARY_FUZZ)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()

# Debug information, __FILE__ and the compile directory name the sources and the build folder relative to the
# source tree. GCC tries the last map first, so a build folder inside the source tree becomes "build" wherever it is.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
