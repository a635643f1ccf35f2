/* The shared library's own translation unit; all code comes from orvkt_core. */
typedef int orvkt_library_anchor;
