#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <optional>

#include "app/about_box.h"
#include "app/colors.h"
#include "app/dialogs.h"
#include "app/gradient_label.h"
#include "app/stripe_grid.h"

namespace {

TEST(Colors, ValuesHaveRedInTheLowestByte) {
  struct Case {
    std::int32_t value;
    QColor color;
  };
  const Case cases[] = {{16776960, QColor(0, 255, 255)},    // aqua
                        {12639424, QColor(0xC0, 0xDC, 0xC0)},  // money green
                        {255, QColor(255, 0, 0)},
                        {16744448, QColor(0, 128, 255)},
                        {0, QColor(0, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(app::ColorFromValue(c.value), c.color);
    EXPECT_EQ(app::ValueFromColor(c.color), c.value);
  }
}

QColor PixelOfCell(app::TStripeGrid& grid, int row) {
  const QImage img = grid.viewport()->grab().toImage();
  const QRect r = grid.visualRect(grid.model()->index(row, 0));
  return img.pixelColor(r.left() + 2, r.center().y());
}

TEST(StripeGrid, OddVisibleRowsStripedAndStripesFollowScrolling) {
  app::TStripeGrid grid;
  EXPECT_FALSE(grid.Zebra());
  EXPECT_EQ(grid.ZebraColor(), 16776960);
  QStandardItemModel model(40, 1);
  for (int i = 0; i < 40; ++i) model.setItem(i, new QStandardItem(QString("problem %1").arg(i)));
  grid.setModel(&model);
  grid.resize(200, 150);
  grid.show();
  QApplication::processEvents();

  const QColor aqua(0, 255, 255);
  EXPECT_NE(PixelOfCell(grid, 1), aqua) << "no stripes while Zebra is off";
  grid.selectionModel()->select(model.index(3, 0), QItemSelectionModel::Select);
  EXPECT_EQ(PixelOfCell(grid, 3).rgb(), grid.palette().color(QPalette::Highlight).rgb())
      << "without stripes the selection shows as usual";
  grid.selectionModel()->clearSelection();
  grid.SetZebra(true);
  grid.setSelectionBehavior(QAbstractItemView::SelectRows);
  grid.selectionModel()->setCurrentIndex(
      model.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  grid.setCurrentIndex(model.index(2, 0));
  grid.selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select);
  EXPECT_EQ(PixelOfCell(grid, 0).rgb(), grid.palette().color(QPalette::Base).rgb());
  EXPECT_EQ(PixelOfCell(grid, 1), aqua) << "the current row is not in selection colours";
  EXPECT_EQ(PixelOfCell(grid, 3), aqua);
  EXPECT_EQ(PixelOfCell(grid, 2).rgb(), grid.palette().color(QPalette::Base).rgb())
      << "a selected row shows no selection colour either";

  grid.SetZebraColor(app::ValueFromColor(QColor(0xC0, 0xDC, 0xC0)));
  EXPECT_EQ(PixelOfCell(grid, 1), QColor(0xC0, 0xDC, 0xC0));

  grid.scrollTo(model.index(5, 0), QAbstractItemView::PositionAtTop);
  QApplication::processEvents();
  ASSERT_EQ(grid.rowAt(0), 5);
  EXPECT_FALSE(grid.IsStripedRow(5));
  EXPECT_TRUE(grid.IsStripedRow(6));
  EXPECT_NE(PixelOfCell(grid, 5), QColor(0xC0, 0xDC, 0xC0));
  EXPECT_EQ(PixelOfCell(grid, 6), QColor(0xC0, 0xDC, 0xC0));
}

TEST(GradientLabel, PaintsAGradientAndReportsClicks) {
  app::TGradientLabel label("MMMMMMMMMM");
  QFont f("Arial");
  f.setPixelSize(37);
  f.setBold(true);
  label.setFont(f);
  label.SetGradientEnabled(true);
  label.SetGradientColors(QColor(255, 0, 0), QColor(0, 0, 255));
  label.resize(label.sizeHint());
  const QImage img = label.grab().toImage();
  // The leftmost inked pixels are reddish, the rightmost bluish.
  int leftRed = -1, rightBlue = -1;
  for (int x = 0; x < img.width() && leftRed < 0; ++x)
    for (int y = 0; y < img.height(); ++y)
      if (img.pixelColor(x, y).alpha() > 200) {
        leftRed = img.pixelColor(x, y).red() - img.pixelColor(x, y).blue();
        break;
      }
  for (int x = img.width() - 1; x >= 0 && rightBlue < 0; --x)
    for (int y = 0; y < img.height(); ++y)
      if (img.pixelColor(x, y).alpha() > 200) {
        rightBlue = img.pixelColor(x, y).blue() - img.pixelColor(x, y).red();
        break;
      }
  EXPECT_GT(leftRed, 100);
  EXPECT_GT(rightBlue, 100);

  int clicks = 0;
  QObject::connect(&label, &app::TGradientLabel::clicked, [&] { ++clicks; });
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(&label, Qt::RightButton);
  EXPECT_EQ(clicks, 1);
}

TEST(AboutBox, LooksAndLinkAndClosing) {
  QUrl opened;
  app::TfmAbout::SetUrlOpener([&](const QUrl& u) {
    opened = u;
    return true;
  });
  {
    app::TfmAbout about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("О программе..."));
    EXPECT_EQ(about.size(), QSize(443, 302));
    EXPECT_EQ(about.NameLabel()->text(), "Brelona");
    EXPECT_EQ(about.NameLabel()->font().pixelSize(), 37);
    EXPECT_TRUE(about.NameLabel()->font().bold());
    EXPECT_EQ(about.NameLabel()->ColorFrom(), QColor(Qt::gray));
    EXPECT_EQ(about.NameLabel()->ColorTo(), QColor(Qt::black));
    EXPECT_EQ(about.CloseButton()->text(), QString::fromUtf8("Закрыть"));
    bool subtitle = false;
    for (QLabel* l : about.findChildren<QLabel*>())
      if (l->text() == QString::fromUtf8("расчет бинарных фазовых диаграмм"))
        subtitle = l->font().pixelSize() == 21;
    EXPECT_TRUE(subtitle);

    // The link's own text is the manual's address, a local file that exists.
    const QUrl manual = app::TfmAbout::ManualUrl();
    ASSERT_TRUE(manual.isLocalFile());
    EXPECT_TRUE(QFileInfo(manual.toLocalFile()).isFile());
    EXPECT_EQ(about.LinkLabel()->text(), manual.toString());
    EXPECT_TRUE(about.LinkLabel()->font().underline());
    EXPECT_EQ(about.LinkLabel()->cursor().shape(), Qt::PointingHandCursor);
    about.show();
    QTest::mouseClick(about.LinkLabel(), Qt::LeftButton);
    EXPECT_EQ(opened, manual);
    EXPECT_TRUE(about.isVisible()) << "a click on the link keeps the box open";
  }
  app::TfmAbout::SetUrlOpener(nullptr);

  struct Closer {
    const char* name;
    std::function<void(app::TfmAbout&)> act;
    bool closes;
  };
  const Closer closers[] = {
      {"character key", [](app::TfmAbout& a) { QTest::keyClick(&a, Qt::Key_A); }, true},
      {"shift alone", [](app::TfmAbout& a) { QTest::keyClick(&a, Qt::Key_Shift); }, false},
      {"F1 alone", [](app::TfmAbout& a) { QTest::keyClick(&a, Qt::Key_F1); }, false},
      {"mouse release", [](app::TfmAbout& a) { QTest::mouseRelease(&a, Qt::LeftButton, {}, QPoint(5, 5)); }, true},
      {"button", [](app::TfmAbout& a) { a.CloseButton()->click(); }, true},
  };
  for (const Closer& c : closers) {
    SCOPED_TRACE(c.name);
    app::TfmAbout about;
    about.show();
    QApplication::processEvents();
    c.act(about);
    EXPECT_EQ(about.isVisible(), !c.closes);
  }
}

}  // namespace

namespace {

// File -> New proposes ".d" in the input box; selected, it was replaced by the first letter
// typed and the new file got no extension. The cursor now stands before the extension.
TEST(Dialogs, TheInputBoxKeepsTheProposedExtension) {
  app::TDialogs dialogs(nullptr);
  QString selected = QStringLiteral("unset");
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!box) return;
      auto* edit = box->findChild<QLineEdit*>();
      selected = edit->selectedText();
      QTest::keyClicks(edit, QStringLiteral("new"));
      box->accept();
    });
  });
  EXPECT_EQ(dialogs.InputQuery("Name", "Enter a file name with the extension .d", ".d"),
            std::optional<std::string>("new.d"));
  EXPECT_EQ(selected, QString());
}

}  // namespace
