#include "fuzz_node.h"

krPersistent* krFuzzNode::make() { return new krFuzzNode; }

kr_Instantiator krFuzzNode::sExemplar(typeid(krFuzzNode), &krFuzzNode::make, "fuzz::Node");

void krFuzzNode::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krFuzzNode*>(this), sizeof(krFuzzNode), 0,
                     [&](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("fuzz::Node", 0);
                         krPersistent::dispatchSerialize(ar);
                         kfSerializeHandleList(ar, contours);
                         kfSerializeHandleList(ar, children);
                     });
}
