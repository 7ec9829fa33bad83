#include "orvantauninstall.h"
#include "ui_orvantauninstall.h"

OrvantaUnInstall::OrvantaUnInstall(QWidget *parent) : QMainWindow(parent), ui(new Ui::OrvantaUnInstallClass)
{
    // The pictures are compiled into this library; a program linking it statically must register them.
    Q_INIT_RESOURCE(orvantau);
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint);
    connect(ui->pushButton_close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->pushButton_ok, &QPushButton::clicked, this, &QWidget::close);
}

OrvantaUnInstall::~OrvantaUnInstall()
{
    delete ui;
}
