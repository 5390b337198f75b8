# Sources that keep Win32 out of them; they build natively and for Windows alike.
set(PR_PORTABLE_SOURCES
)
set(PR_PORTABLE_INCLUDES ${CMAKE_SOURCE_DIR})
