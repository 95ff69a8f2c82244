/* A header whose second call has no comment: check_header_docs.py must fail on it. */
/*
 * Opens the thing. Returns 0 on success.
 */
VENDREL_API int32_t OpenThing(const char* path);
VENDREL_API int32_t OpenThingA(const char* path);

VENDREL_API int32_t CloseThing(void);
