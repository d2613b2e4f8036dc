#include "settings/ui/PortPickerDlg.h"

#include "settings/StandartStoreObjects.h"
#include "settings/ui/IntValuesListDlg.h"

#include <QApplication>

namespace zorvan {

void InstallPortPicker(TRegInteger& port, std::function<PortPickerTexts()> texts) {
    attachPortPicker(port, systemPortRoots(), std::move(texts),
                     [](const QList<PortChoice>& choices, int current) {
                         // The entries' positions stand for their values.
                         TIntValuesList list;
                         for (int i = 0; i < choices.size(); ++i)
                             list.Add(choices[i].caption, i);
                         return TIntValuesListDialog::Choose(list, current,
                                                             QApplication::activeModalWidget());
                     });
}

} // namespace zorvan
