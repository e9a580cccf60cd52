// The compression settings dialog, and the track's way of asking for it.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "movie/movie.h"

bool QTVideoTrack::SelectCompressionSettings(const Picture* /*testImage*/) {
  CompressionSettings settings;
  settings.type = CompressionType;
  settings.depth = Depth;
  settings.quality = CompressionQuality;
  if (!CurrentDialogs().SelectCompressionSettings(settings)) return false;
  CompressionType = settings.type;
  Depth = settings.depth;
  CompressionQuality = settings.quality;
  return true;
}

bool RunCompressionDialog(CompressionSettings& settings) {
  const QList<CodecChoice> codecs = AvailableCodecs();

  QDialog dialog;
  dialog.setWindowTitle("Compression Settings");
  dialog.setObjectName("CompressionSettings");

  auto* codec = new QComboBox(&dialog);
  codec->setObjectName("codec");
  for (const CodecChoice& c : codecs) codec->addItem(c.label, c.type);

  auto* depth = new QComboBox(&dialog);
  depth->setObjectName("depth");
  depth->addItem("Millions of Colors", 24);
  depth->addItem("Millions of Colors+", 32);

  auto* quality = new QSlider(Qt::Horizontal, &dialog);
  quality->setObjectName("quality");
  quality->setRange(0, 100);
  quality->setTickInterval(25);
  quality->setTickPosition(QSlider::TicksBelow);
  auto* qualityValue = new QLabel(&dialog);
  qualityValue->setMinimumWidth(qualityValue->fontMetrics().horizontalAdvance("100"));
  QObject::connect(quality, &QSlider::valueChanged, qualityValue,
                   [qualityValue](int v) { qualityValue->setNum(v); });

  auto* qualityRow = new QHBoxLayout;
  qualityRow->addWidget(new QLabel("Least", &dialog));
  qualityRow->addWidget(quality, 1);
  qualityRow->addWidget(new QLabel("Best", &dialog));
  qualityRow->addWidget(qualityValue);

  auto* form = new QFormLayout;
  form->addRow("Compression type:", codec);
  form->addRow("Depth:", depth);
  form->addRow("Quality:", qualityRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Depth only means something for the codecs that can keep 32 bits; quality
  // only for the lossy ones.
  auto updateEnabled = [&codecs, codec, depth, quality] {
    const int i = codec->currentIndex();
    const bool valid = i >= 0 && i < codecs.size();
    depth->setEnabled(valid && codecs[i].hasDepth);
    quality->setEnabled(valid && !codecs[i].lossless);
  };
  QObject::connect(codec, &QComboBox::currentIndexChanged, &dialog, updateEnabled);

  const int codecIndex = codec->findData(settings.type);
  codec->setCurrentIndex(codecIndex >= 0 ? codecIndex : 0);
  depth->setCurrentIndex(settings.depth == 32 ? 1 : 0);
  quality->setValue(int(std::lround(std::clamp(settings.quality, 0.0, 100.0))));
  qualityValue->setNum(quality->value());
  updateEnabled();

  if (dialog.exec() != QDialog::Accepted) return false;
  const int i = codec->currentIndex();
  settings.type = i >= 0 ? codec->itemData(i).toString() : QString("raw ");
  settings.depth = depth->currentData().toInt();
  settings.quality = quality->value();
  return true;
}
