// The heap, property and table layer in one include: heaps and BTHs,
// property sets and contexts, table contexts and their templates, the named
// property map, and the strict readers.
#pragma once

#include "ltp/bth.h"
#include "ltp/heap.h"
#include "ltp/heap_reader.h"
#include "ltp/name_to_id_map.h"
#include "ltp/ndb_link.h"
#include "ltp/node_writer.h"
#include "ltp/pc_reader.h"
#include "ltp/property_context.h"
#include "ltp/property_set.h"
#include "ltp/property_value.h"
#include "ltp/table_context.h"
#include "ltp/table_templates.h"
#include "ltp/tc_reader.h"
