#include "agent/manager_link.h"

#include "agent/manager_session.h"

const ManagerLink kManagerSessionLink = {
    init_iaxAgiSocket, changeAgentMode, agi_Logout, checkMWI, takeMemberReadBack,
};

namespace {

const ManagerLink* l_link = &kManagerSessionLink;

}  // namespace

const ManagerLink& managerLink() {
    return *l_link;
}

void useManagerLink(const ManagerLink* link) {
    l_link = link ? link : &kManagerSessionLink;
}
