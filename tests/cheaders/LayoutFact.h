/* One row of LayoutFacts.inc as a consumer's compiler sees it. */
#ifndef LAYOUT_FACT_H
#define LAYOUT_FACT_H

typedef struct {
  const char *Name;
  UINT64 Value;  /* a size, offset or constant */
  EFI_GUID Guid; /* for a GUID row */
} LAYOUT_FACT;

#define FACT_SIZE(Type) {"sizeof " #Type, sizeof(Type), {0, 0, 0, {0}}},
#define FACT_OFFSET(Type, Field) {#Type "." #Field, OFFSET_OF(Type, Field), {0, 0, 0, {0}}},
#define FACT_VALUE(Name) {#Name, (UINT64)(Name), {0, 0, 0, {0}}},
#define FACT_GUID(Name) {#Name, 0, Name},

#endif
